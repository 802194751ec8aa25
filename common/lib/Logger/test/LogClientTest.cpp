#include "Logger/LogClient.h"

#include "TestSupport/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <utility>

namespace tvo {
namespace {

constexpr std::string_view kSource = "common/lib/Logger/test/LogClientTest.cpp";

TEST(LogLevelTest, ThresholdAndParsing) {
    ScopedLogCapture capture(LogLevel::Warning);
    EXPECT_TRUE(LogClient::LevelIsEnabled(LogLevel::Error));
    EXPECT_TRUE(LogClient::LevelIsEnabled(LogLevel::Warning));
    EXPECT_FALSE(LogClient::LevelIsEnabled(LogLevel::Info));

    LogLevel level = LogLevel::Info;
    EXPECT_TRUE(ParseLogLevel("finest", level) && level == LogLevel::FinestDetail);
    EXPECT_TRUE(ParseLogLevel("4", level) && level == LogLevel::Warning);
    for (std::string_view bad : {"", "5", "9", "3x", "Error", " info"}) {
        EXPECT_FALSE(ParseLogLevel(bad, level)) << bad;
        EXPECT_EQ(level, LogLevel::Warning) << "changed by a failed parse: " << bad;
    }
    // A level read from elsewhere that is none of ours still has a name.
    EXPECT_EQ(LogLevelName(static_cast<LogLevel>(99)), "unknown");
}

// Signatures that are not a function's keep the whole text as the operation.
TEST(LogClientTest, OddSignaturesAreTheirOwnOperation) {
    for (std::string_view odd : {"", "no parameters", "unbalanced)", "(leading)"}) {
        EXPECT_EQ(LogClient::OperationOf(odd), odd);
    }
    EXPECT_EQ(LogClient::OperationOf("void tvo::Outer::Run(int (*)(char))"), "Run");
}

// A standard error that cannot be written loses the line, and nothing else.
TEST(StderrSinkTest, AnUnwritableStandardErrorIsLeftBe) {
    const int savedStderr = ::dup(STDERR_FILENO);
    const int readOnly = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    ::dup2(readOnly, STDERR_FILENO);
    {
        ScopedLogCapture levels(LogLevel::Info);
        LogClient::SetSink(std::make_shared<StderrSink>());
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "nowhere to go";
    }
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    ::close(readOnly);
}

TEST(LogClientTest, DisabledLinesAreNeverBuiltAndNullTextKeepsTheLine) {
    const LogLevel saved = LogClient::GetLevel();
    int evaluated = 0;
    {
        ScopedLogCapture capture(LogLevel::Warning);
        const char* missing = nullptr;
        PMX_LOG(LogLevel::Detail, kLogCategoryDock) << ++evaluated;
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "n=" << ++evaluated << " " << missing << " ok=" << true;
        const auto lines = capture.Sink().Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].text, "n=1 (null) ok=1");  // a bool as a stream writes it
        EXPECT_EQ(lines[0].category, kLogCategoryRest);
    }
    EXPECT_EQ(LogClient::GetLevel(), saved);
}

// Many threads log long lines to stderr, pointed at a file: every line must
// come out whole and in the stderr layout.
TEST(StderrSinkTest, ManyThreadsNeverInterleaveLines) {
    constexpr int kThreads = 8, kLinesEach = 400;
    const std::string payload(300, 'x');
    const TempDir folder;
    const auto path = folder.file("stderr.txt");
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    const int savedStderr = ::dup(STDERR_FILENO);
    ::dup2(file, STDERR_FILENO);
    {
        ScopedLogCapture levels(LogLevel::Info);
        LogClient::SetSink(nullptr);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    PMX_LOG(LogLevel::Info, kLogCategoryDock) << "T" << t << "\n" << payload;
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    ::close(file);

    std::ifstream in(path);
    std::map<std::string, int> perThread;
    const std::string prefix = "info [0x8027] " + std::string(kSource) + ":";
    for (std::string line; std::getline(in, line);) {
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        // Written inside a lambda, the line names the test's own operation.
        const std::string marker = " TestBody: T";
        const auto text = line.find(marker);
        ASSERT_NE(text, std::string::npos) << line;
        const auto number = text + marker.size();
        const auto blank = line.find(' ', number);
        ASSERT_EQ(line.substr(blank + 1), payload) << line;
        ++perThread[line.substr(number, blank - number)];
    }
    ASSERT_EQ(perThread.size(), static_cast<size_t>(kThreads));
    for (const auto& [thread, count] : perThread) {
        EXPECT_EQ(count, kLinesEach) << thread;
    }
}

// The system log is reached at /dev/log, so the sink is checked in a private
// mount namespace, where a socket of the test's own stands there.
TEST(SyslogSinkTest, EachRecordIsOneMessageWithItsPriority) {
    const InnerTestRun inner = RunInNamespaces("--mount --propagation private",
                                               "SyslogSinkTest.DISABLED_InPrivateMountNamespace", PMX_TEST_EMULATOR);
    if (inner.unavailable) {
        GTEST_SKIP() << "no private mount namespace here: " << inner.printed;
    }
    EXPECT_TRUE(inner.passed) << inner.printed;
}

// Run only by the test above, inside the namespace it made.
TEST(SyslogSinkTest, DISABLED_InPrivateMountNamespace) {
    struct stat self {};
    struct stat parent {};
    ASSERT_EQ(::stat("/proc/self/ns/mnt", &self), 0);
    ASSERT_EQ(::stat(("/proc/" + std::to_string(::getppid()) + "/ns/mnt").c_str(), &parent), 0);
    ASSERT_NE(self.st_ino, parent.st_ino) << "run only through SyslogSinkTest.EachRecordIsOneMessageWithItsPriority";
    ASSERT_EQ(::mount("none", "/dev", "tmpfs", 0, nullptr), 0) << std::strerror(errno);

    // The inner run ends with the test: the socket goes with its process.
    const int log = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    ASSERT_EQ(::bind(log, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    {
        ScopedLogCapture levels(LogLevel::FinestDetail);
        LogClient::SetSink(std::make_shared<SyslogSink>("pmx-test"));
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "first\nsecond";
        PMX_LOG(LogLevel::Warning, kLogCategoryDock) << "warned";
        PMX_LOG(LogLevel::Info, kLogCategoryDock) << "told";
        PMX_LOG(LogLevel::FinestDetail, kLogCategoryDock) << "detail";
    }
    // LOG_USER (8) plus the level's priority, the record on one line.
    for (const auto& [priority, text] : {std::pair{"<11>", "first second"}, std::pair{"<12>", "warned"},
                                         std::pair{"<14>", "told"}, std::pair{"<15>", "detail"}}) {
        char buffer[1024];
        const ssize_t got = ::recv(log, buffer, sizeof buffer, MSG_DONTWAIT);
        ASSERT_GT(got, 0) << text;
        const std::string message(buffer, static_cast<std::size_t>(got));
        EXPECT_EQ(message.rfind(priority, 0), 0u) << message;
        EXPECT_THAT(message, ::testing::HasSubstr("pmx-test[" + std::to_string(::getpid()) + "]: [0x8027] " +
                                                  std::string(kSource) + ":"));
        EXPECT_THAT(message, ::testing::EndsWith(std::string("TestBody: ") + text)) << message;
    }
}

TEST(CaptureSinkTest, SinkSwapsDuringLoggingLoseNoLine) {
    ScopedLogCapture capture(LogLevel::Info);
    auto other = std::make_shared<CaptureSink>();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                PMX_LOG(LogLevel::Info, kLogCategoryRest) << i;
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        LogClient::SetSink(LogClient::SetSink(other));
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(capture.Sink().Lines().size() + other->Lines().size(), 2000u);
    capture.Sink().Clear();
    EXPECT_TRUE(capture.Sink().Lines().empty());
    EXPECT_FALSE(capture.Sink().Contains("T"));
}

// Both compilers' ways of writing a signature, lambdas and templates included.
TEST(LogClientTest, OperationIsTheEnclosingFunctionEvenInsideALambda) {
    const std::pair<const char*, const char*> cases[] = {
        {"void tvo::DockProtoVeltaImpl::SayHello()", "SayHello"},
        {"tvo::DockProtoIF::ReturnCode tvo::X::Associate(int, std::string_view) const", "Associate"},
        {"tvo::X::Start()::<lambda(const tvo::Request&)>", "Start"},
        {"tvo::X::Start()::<lambda()>::<lambda(int)>", "Start"},
        {"auto tvo::X::Start()::(lambda at src/X.cpp:12:5)::operator()(int) const", "Start"},
        {"auto tvo::X::Start()::(anonymous class)::operator()() const", "Start"},
        {"void tvo::{anonymous}::Helper(std::vector<std::pair<int, int> >)", "Helper"},
        {"T tvo::Read(const web::json::object&) [with T = int]", "Read"},
        {"tvo::Foo::Foo(int)", "Foo"},
        {"void tvo::Foo::operator()()", "operator()"},
        {"no signature at all", "no signature at all"},
    };
    for (const auto& [signature, operation] : cases) {
        EXPECT_EQ(LogClient::OperationOf(signature), operation) << signature;
    }
}

// A compiler cache may hand one checkout objects compiled in another, so the
// file field cannot rely on this checkout's own path alone.
TEST(LogClientTest, SourceIsThePlaceInTheTreeWhicheverCheckoutCompiledIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"/ci/clone-7/tools/docksim/src/VeltaBase.cpp", "tools/docksim/src/VeltaBase.cpp"},
        {"/home/tools/repo/common/lib/Common/src/UUID.cpp", "common/lib/Common/src/UUID.cpp"},
        {"/x/fuzz/oskin_dispatch.cpp", "fuzz/oskin_dispatch.cpp"},
        {"elsewhere.cpp", "elsewhere.cpp"},
    };
    for (const auto& [file, place] : cases) {
        EXPECT_EQ(LogClient::SourceOf(file), place) << file;
    }
}

}  // namespace
}  // namespace tvo
