// The base's log: the log request, the download, trimming at the host's tick
// and the named pipe, with and without a reader, against the emulated base.

#include "VeltaTestSupport.h"

#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>

namespace tvo::velta_test {
namespace {

constexpr std::size_t kLogBytes = 1024 * 1024;

class VeltaBaseLog : public testing::Test {
protected:
    static DockSim::VeltaBaseSetup Setup(const TempDir& folder) {
        DockSim::VeltaBaseSetup setup = NeverApproving();
        setup.baseLogFile = folder.file("base-side.log").string();
        setup.cameraLogFolder = folder.path().string();
        DockSim::GenerateBaseLog(setup.baseLogFile, kLogBytes);
        return setup;
    }

    const std::string& Pipe() const { return environment.velta.logPipe; }
    const std::string& Copy() const { return environment.files.baseLogCopy; }
    const std::string& Trimmed() const { return environment.files.trimmedBaseLogCopy; }
    std::string BaseLog() const { return ReadFile(rig.base.Setup().baseLogFile); }

    // One DownloadBaseLog with a collector on the pipe; what it received. A
    // readerLimit makes the collector go away after that many bytes.
    std::pair<RC, std::string> Download(unsigned tick, std::size_t readerLimit = std::string::npos) {
        return Download(rig.camera, tick, readerLimit);
    }
    std::pair<RC, std::string> Download(DockProtoVelta& camera, unsigned tick,
                                        std::size_t readerLimit = std::string::npos) {
        std::string received;
        FifoReader reader(
            Pipe(),
            [&](std::string_view chunk) {
                received.append(chunk.substr(0, readerLimit - received.size()));
                return received.size() < readerLimit;
            },
            std::chrono::seconds(30));
        const RC code = camera.DownloadBaseLog(tick);
        reader.Finish();
        return {code, received};
    }

    TempDir folder;
    VeltaRig rig{Setup(folder)};
    ProtocolEnvironment environment = rig.base.Environment();
};

TEST_F(VeltaBaseLog, RequestIsReadyOnlyForTheExactQuotedText) {
    ScopedLogCapture log;
    EXPECT_EQ(rig.camera.RequestBaseLog(42), RC::Ok);
    EXPECT_TRUE(log.Sink().Contains("Received response: [\"LogReady\"]"));
    EXPECT_EQ(rig.base.Log().back().request,
              R"({"message-header":{"ip_addr":"","mac_id":"","port_number":0,"serial_number":""},)"
              R"("msg_type":"request_base_log","sysTick":42})");

    for (const char* notReady : {"LogReady", "\"LogReady\" ", "\"Preparing\"", ""}) {
        rig.base.SetLogReadyReply(notReady);
        EXPECT_EQ(rig.camera.RequestBaseLog(UINT_MAX), RC::InProgress) << notReady;
    }
    EXPECT_TRUE(log.Sink().Contains("No match: Received response: [LogReady] Expected: [\"LogReady\"]"));
    EXPECT_NE(rig.base.Log().back().request.find("\"sysTick\":4294967295"), std::string::npos);
}

TEST_F(VeltaBaseLog, RequestRefusedOrBroken) {
    ScopedLogCapture log;
    DockSim::ReplyScript script;
    script.status = 400;
    rig.base.SetReply("request_base_log", script);
    EXPECT_EQ(rig.camera.RequestBaseLog(1), RC::NotSupported);
    EXPECT_TRUE(log.Sink().Contains("failed to send a request to get a copy of the velta log, status code = 400"));
    script.status = 500;
    rig.base.SetReply("request_base_log", script);
    EXPECT_EQ(rig.camera.RequestBaseLog(1), RC::Failed);
    script = {};
    script.hangUp = true;
    rig.base.SetReply("request_base_log", script);
    EXPECT_EQ(rig.camera.RequestBaseLog(1), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("Failed to send RequestBaseLog message to base, exception: "));
    EXPECT_EQ(rig.ElapsedMs(), 0);

    // A base that keeps silent is given the log request's own limit of 2 s.
    script = {};
    script.never = true;
    rig.base.SetReply("request_base_log", script);
    EXPECT_EQ(rig.camera.RequestBaseLog(1), RC::Failed);
    EXPECT_EQ(rig.ElapsedMs(), 2000);
}

TEST_F(VeltaBaseLog, TrimStartsAtTheFirstOccurrenceOfTheTick) {
    WriteFile(Copy(), BaseLog());
    const std::string whole = BaseLog();
    const std::size_t lines = static_cast<std::size_t>(std::count(whole.begin(), whole.end(), '\n'));

    EXPECT_EQ(rig.camera.TrimBaseLogFile(DockSim::BaseLogTick(0)), 1u);
    EXPECT_EQ(ReadFile(Trimmed()), whole);

    const auto lastTick = std::to_string(DockSim::BaseLogTick(lines - 1));
    EXPECT_EQ(rig.camera.TrimBaseLogFile(DockSim::BaseLogTick(lines - 1)), 1u);
    const std::string last = ReadFile(Trimmed());
    EXPECT_EQ(last, whole.substr(whole.rfind('\n', whole.size() - 2) + 1));
    EXPECT_EQ(last.rfind(lastTick, 0), 0u);

    // A tick between two stamps is nowhere: the whole log stays.
    ScopedLogCapture log;
    std::remove(Trimmed().c_str());
    EXPECT_EQ(rig.camera.TrimBaseLogFile(DockSim::BaseLogTick(3) + 1), 0u);
    EXPECT_TRUE(log.Sink().Contains("file marker not found, just keep the whole velta log file."));
    EXPECT_FALSE(std::filesystem::exists(Trimmed()));
}

TEST_F(VeltaBaseLog, TrimEdges) {
    ScopedLogCapture log;
    EXPECT_EQ(rig.camera.TrimBaseLogFile(0), 0u);
    EXPECT_TRUE(log.Sink().Contains("1st run since camera booted, just copy the whole file."));

    EXPECT_EQ(rig.camera.TrimBaseLogFile(42), 0u);  // no copy at all
    EXPECT_TRUE(log.Sink().Contains("VeltaLog file failed to trim "));

    WriteFile(Copy(), "");
    EXPECT_EQ(rig.camera.TrimBaseLogFile(42), 0u);
    WriteFile(Copy(), "42");  // exactly the marker: kept whole
    EXPECT_EQ(rig.camera.TrimBaseLogFile(42), 0u);

    // The marker may sit inside a longer number.
    WriteFile(Copy(), "1 boot\n1042 charger\n42 dock\n");
    EXPECT_EQ(rig.camera.TrimBaseLogFile(42), 1u);
    EXPECT_EQ(ReadFile(Trimmed()), "42 charger\n42 dock\n");
    EXPECT_TRUE(log.Sink().Contains(" TrimmedLog file has 19 size and original file had 28 size."));

    // Binary bytes around the marker are copied as they are.
    WriteFile(Copy(), std::string("\0\xff"
                                  "77\0x",
                                  6));
    EXPECT_EQ(rig.camera.TrimBaseLogFile(77), 1u);
    EXPECT_EQ(ReadFile(Trimmed()), std::string("77\0x", 4));
}

TEST_F(VeltaBaseLog, ATrimmedCopyThatCannotBeWrittenFailsTheTransfer) {
    environment.files.trimmedBaseLogCopy = folder.file("missing/trimmed.log").string();
    DockProtoVelta camera(environment);
    WriteFile(Copy(), "1 boot\n42 dock\n");
    ScopedLogCapture log;
    EXPECT_EQ(camera.TrimBaseLogFile(42), 1u);
    EXPECT_TRUE(log.Sink().Contains("TrimmedLog file could not be written: "));
    EXPECT_TRUE(log.Sink().Contains(" TrimmedLog file has 8 size and original file had 15 size."));

    FifoReader reader(
        Pipe(), [](std::string_view) { return true; }, std::chrono::seconds(30));
    EXPECT_EQ(camera.DownloadBaseLog(DockSim::BaseLogTick(3)), RC::Failed);
    reader.Finish();
    EXPECT_TRUE(log.Sink().Contains("TrimmedLog file failed to open..."));
}

TEST_F(VeltaBaseLog, DownloadIntoThePipeWholeOrFromTheTick) {
    {
        ScopedLogCapture log;
        const auto [code, received] = Download(0);
        EXPECT_EQ(code, RC::Ok);
        EXPECT_EQ(received, BaseLog());
        EXPECT_TRUE(log.Sink().Contains("currentLog file is being moved into svlogd..."));
        EXPECT_TRUE(log.Sink().Contains("We downloaded the velta log from the velta "));
    }
    EXPECT_EQ(ReadFile(Copy()), BaseLog());

    // The pipe of the first download is a leftover now; it is made anew.
    ScopedLogCapture log;
    const auto tick = DockSim::BaseLogTick(1000);
    const auto [code, received] = Download(tick);
    EXPECT_EQ(code, RC::Ok);
    const std::string whole = BaseLog();
    EXPECT_EQ(received, whole.substr(whole.find(std::to_string(tick))));
    EXPECT_TRUE(log.Sink().Contains("TrimmedLog file is being moved into svlogd..."));
}

TEST_F(VeltaBaseLog, FailedDownloadLeavesNoHalfCopy) {
    rig.base.SetLogDownload(DockSim::LogDownload::HalfWay);
    {
        ScopedLogCapture log;
        EXPECT_EQ(rig.camera.DownloadBaseLog(0), RC::Failed);  // nothing to give: no reader needed
        EXPECT_TRUE(log.Sink().Contains("We failed to download the velta log from the velta "));
        EXPECT_TRUE(log.Sink().Contains("VeltaLog file not found at " + Copy()));
        EXPECT_FALSE(std::filesystem::exists(Copy()));
    }
    // With an earlier copy, the failed download leaves it as it was and that is what goes out.
    WriteFile(Copy(), "100000 the previous log\n");
    const auto [code, received] = Download(0);
    EXPECT_EQ(code, RC::Ok);
    EXPECT_EQ(received, "100000 the previous log\n");
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
    }

    rig.base.SetLogDownload(DockSim::LogDownload::Missing);
    EXPECT_EQ(Download(0).second, "100000 the previous log\n");
}

TEST_F(VeltaBaseLog, GarbageIsPassedOnWhole) {
    rig.base.SetLogDownload(DockSim::LogDownload::Garbage);
    const auto [code, received] = Download(DockSim::BaseLogTick(5));
    EXPECT_EQ(code, RC::Ok);
    ASSERT_EQ(received.size(), BaseLog().size());
    EXPECT_EQ(received, ReadFile(Copy()));
    EXPECT_EQ(received.find_first_of("0123456789\n"), std::string::npos);
}

TEST_F(VeltaBaseLog, ACollectorThatGoesAwayFailsTheTransferNotTheProcess) {
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    ScopedLogCapture log;
    const auto [code, received] = Download(0, 100 * 1024);
    EXPECT_EQ(code, RC::Failed);
    EXPECT_EQ(received.size(), 100u * 1024);
    EXPECT_TRUE(log.Sink().Contains("currentLog file failed to transfer into svlogd..."));
    EXPECT_TRUE(log.Sink().Contains("Broken pipe"));

    sigset_t pending, after;
    sigpending(&pending);
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "a SIGPIPE was left for the host";
    EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE)) << "the thread's mask changed";

    // And the next transfer works.
    EXPECT_EQ(Download(0).second.size(), BaseLog().size());
}

// A log of many megabytes goes through a larger pipe: still whole, and a
// collector that leaves early is still noticed.
TEST_F(VeltaBaseLog, AManyMegabyteLogGoesThroughWholeAndALeavingCollectorIsNoticed) {
    DockSim::GenerateBaseLog(rig.base.Setup().baseLogFile, std::size_t{12} * 1024 * 1024);
    const auto [code, received] = Download(0);
    EXPECT_EQ(code, RC::Ok);
    EXPECT_TRUE(received == BaseLog()) << received.size() << " bytes of " << BaseLog().size();

    ScopedLogCapture log;
    const auto [early, part] = Download(0, 100 * 1024);
    EXPECT_EQ(early, RC::Failed);
    EXPECT_EQ(part.size(), 100u * 1024);
    EXPECT_TRUE(log.Sink().Contains("Broken pipe"));
}

// /tmp is shared: symlinks planted at the copies' and the pipe's names must
// never lead the camera (root) to write the dock's text somewhere else.
TEST_F(VeltaBaseLog, PlantedLinksAreReplacedNeverFollowed) {
    const std::string victim = folder.file("victim").string();
    WriteFile(victim, "precious");
    std::filesystem::create_symlink(victim, Trimmed());
    std::filesystem::create_symlink(victim, Pipe());

    const auto [code, received] = Download(DockSim::BaseLogTick(3));
    EXPECT_EQ(code, RC::Ok);
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(Trimmed()));
    EXPECT_EQ(received, ReadFile(Trimmed()));
    struct stat pipe {};
    ASSERT_EQ(::lstat(Pipe().c_str(), &pipe), 0);
    EXPECT_TRUE(S_ISFIFO(pipe.st_mode));
}

TEST_F(VeltaBaseLog, PipePathThatCannotBeAFifo) {
    ScopedLogCapture log;
    // A leftover that cannot be removed (a folder with something in it):
    // making the pipe meets EEXIST, which is let by, and the transfer then
    // fails on what is not a pipe instead of writing into it or hanging.
    std::filesystem::create_directories(Pipe() + "/inside");
    EXPECT_EQ(rig.camera.DownloadBaseLog(0), RC::Failed);
    EXPECT_FALSE(log.Sink().Contains("failed to create named pipe"));
    EXPECT_TRUE(log.Sink().Contains("currentLog file failed to transfer into svlogd..."));
    EXPECT_TRUE(std::filesystem::is_directory(Pipe() + "/inside"));

    // No folder for the pipe at all.
    environment.velta.logPipe = folder.file("missing/wifilogpipe").string();
    DockProtoVelta camera(environment);
    EXPECT_EQ(camera.DownloadBaseLog(0), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("Velta protocol failed to create named pipe at " + environment.velta.logPipe +
                                    " error No such file or directory"));
}

// Where the kernel cannot move the log into the pipe, it goes through this
// process: whole, and a collector that leaves is still noticed.
TEST_F(VeltaBaseLog, WithoutSpliceTheLogIsCopiedHere) {
    auto calls = std::make_shared<FileCalls>(*FileCalls::System());
    calls->splice = [](int, int, std::size_t) -> ssize_t {
        errno = EINVAL;
        return -1;
    };
    environment.files.calls = calls;
    DockProtoVelta camera(environment);
    ScopedLogCapture log;
    const auto [code, received] = Download(camera, 0);
    EXPECT_EQ(code, RC::Ok);
    EXPECT_EQ(received, BaseLog());
    EXPECT_EQ(Download(camera, 0, 100 * 1024).first, RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("Broken pipe"));
}

// A regular file that cannot be removed from the pipe's name is not written.
TEST_F(VeltaBaseLog, AFileThatStaysAtThePipeNameIsNotWritten) {
    auto calls = std::make_shared<FileCalls>(*FileCalls::System());
    calls->unlink = [](const char*) {
        errno = EACCES;
        return -1;
    };
    environment.files.calls = calls;
    DockProtoVelta camera(environment);
    WriteFile(Pipe(), "not a pipe");
    ScopedLogCapture log;
    EXPECT_EQ(camera.DownloadBaseLog(0), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("Log pipe: Invalid argument"));
    EXPECT_EQ(ReadFile(Pipe()), "not a pipe");
}

TEST_F(VeltaBaseLog, ALeftoverFileAtThePipePathIsReplaced) {
    WriteFile(Pipe(), "stale regular file");
    const auto [code, received] = Download(0);
    EXPECT_EQ(code, RC::Ok);
    EXPECT_EQ(received.size(), BaseLog().size());
    struct stat facts {};
    ASSERT_EQ(::stat(Pipe().c_str(), &facts), 0);
    EXPECT_TRUE(S_ISFIFO(facts.st_mode));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(facts.st_mode & 0777, 0644u & ~mask);
}

}  // namespace
}  // namespace tvo::velta_test
