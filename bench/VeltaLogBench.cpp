// Moving the Velta base's log: a 50 MB log from the emulated base through
// download, trim and the named pipe to a reader, next to `cat` of the same
// file into a pipe (the limit on this machine) and to the same bytes fetched
// from the same base by `curl -s -o FILE` and then piped by `cat` (what a
// shell script on the camera would do), with the resident memory the
// transfer adds; and what one asynchronous status report costs the host.

#include <benchmark/benchmark.h>

#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/RestHandle.h>
#include <DockSim/VeltaBase.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;
constexpr std::size_t kLogBytes = 50 * 1024 * 1024;

// The camera's /tmp, where the log copies and the pipe live, is a tmpfs;
// the rig's folder is one too where the machine has it, so that the disk of
// the machine running the benchmark (and its discards of freed blocks) is
// not what is measured.
std::filesystem::path RigParent() {
    const std::filesystem::path memory = "/dev/shm";
    return ::access(memory.c_str(), W_OK) == 0 ? memory : std::filesystem::temp_directory_path();
}

struct LogRig {
    TempDir folder{RigParent()};
    std::size_t lines = 0;
    std::unique_ptr<DockSim::VeltaBase> base;
    std::unique_ptr<DockProtoVelta> camera;
    std::string pipe;

    LogRig() {
        DockSim::VeltaBaseSetup setup;
        setup.approval = DockSim::ApprovalMode::Never;
        setup.baseLogFile = folder.file("base-side.log").string();
        setup.cameraLogFolder = folder.path().string();
        lines = DockSim::GenerateBaseLog(setup.baseLogFile, kLogBytes);
        base = std::make_unique<DockSim::VeltaBase>(setup);
        const ProtocolEnvironment environment = base->Environment();
        pipe = environment.velta.logPipe;
        camera = std::make_unique<DockProtoVelta>(environment);
    }
};
std::unique_ptr<LogRig> rig;

void StartLogRig(const benchmark::State&) {
    LogClient::SetLevel(LogLevel::Warning);
    rig = std::make_unique<LogRig>();
}
void StopLogRig(const benchmark::State&) {
    rig.reset();
}

// Drains an open pipe descriptor until its writer closes it.
std::size_t Drain(int fd) {
    std::vector<char> chunk(256 * 1024);
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
            total += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return total;
        }
    }
}

// Resident memory from /proc, in kB; "VmHWM" is the peak since the last reset.
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string wanted = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(wanted, 0) == 0) {
            return std::stol(line.substr(wanted.size()));
        }
    }
    return -1;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Samples anonymous (heap) memory while the transfer runs: the mapped log
// pages show in the resident total but are not copies.
class AnonSampler {
public:
    AnonSampler() : base(StatusKb("RssAnon")), thread([this] { Run(); }) {}
    ~AnonSampler() {
        stop = true;
        thread.join();
    }
    long PeakGrowthKb() const { return peak - base; }

private:
    void Run() {
        while (!stop) {
            peak = std::max(peak.load(), StatusKb("RssAnon"));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    long base;
    std::atomic<long> peak{0};
    std::atomic<bool> stop{false};
    std::thread thread;
};

void BM_CatLogIntoPipe(benchmark::State& state) {
    const std::string file = rig->base->Setup().baseLogFile;
    std::size_t moved = 0;
    for (auto _ : state) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>("cat"), const_cast<char*>(file.c_str()), nullptr};
        pid_t child = -1;
        const int spawned = posix_spawnp(&child, "cat", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        if (spawned != 0) {
            ::close(ends[0]);
            state.SkipWithError("cannot run cat");
            return;
        }
        moved += Drain(ends[0]);
        ::close(ends[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(moved));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(moved) / 1e6, benchmark::Counter::kIsRate);
}

// Runs a program to its end with its output into a pipe that this process
// drains; the bytes drained, or -1 when it could not run or failed.
long long RunDrained(std::vector<std::string> arguments) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        return -1;
    }
    const auto moved = static_cast<long long>(Drain(ends[0]));
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? moved : -1;
}

// The same log from the same base by curl into a file, then cat of the file
// into a pipe: the road without the library.
void BM_CurlThenCatIntoPipe(benchmark::State& state) {
    const ProtocolEnvironment environment = rig->base->Environment();
    const std::string address = "http://127.0.0.1:" + std::to_string(rig->base->Port()) + "/" + environment.velta.path;
    const std::string copy = rig->folder.file("curl.log").string();
    std::size_t moved = 0;
    for (auto _ : state) {
        const long long fetched = RunDrained({"curl", "-s", "-o", copy, address});
        const long long piped = RunDrained({"cat", copy});
        if (fetched < 0 ||
            piped != static_cast<long long>(std::filesystem::file_size(rig->base->Setup().baseLogFile))) {
            state.SkipWithError("curl or cat failed (is curl installed?)");
            return;
        }
        moved += static_cast<std::size_t>(piped);
    }
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(moved) / 1e6, benchmark::Counter::kIsRate);
}

// Download of the whole log into the camera's copy, alone.
void BM_VeltaLogDownloadOnly(benchmark::State& state) {
    const ProtocolEnvironment environment = rig->base->Environment();
    const std::string address = "http://127.0.0.1:" + std::to_string(rig->base->Port()) + "/" + environment.velta.path;
    std::size_t moved = 0;
    for (auto _ : state) {
        HttpClient client(nullptr, address, std::chrono::milliseconds(0), nullptr);
        // The camera's own limit for the base's log, as DownloadBaseLog sets it.
        client.setMaxReplySize(environment.velta.logDownloadLimit);
        if (!client.download(environment.files.baseLogCopy)) {
            state.SkipWithError("download failed");
            return;
        }
        moved += kLogBytes;
    }
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(moved) / 1e6, benchmark::Counter::kIsRate);
}

// DownloadBaseLog at the first line's tick: download, trim (the whole log
// is kept, so the trimmed copy is as large as it gets) and the pipe.
void BM_VeltaLogDownloadTrimPipe(benchmark::State& state) {
    const unsigned tick = DockSim::BaseLogTick(0);
    const long rssBefore = StatusKb("VmRSS");
    ResetPeak();
    long anonPeak = 0;
    std::size_t moved = 0;
    for (auto _ : state) {
        // The last pipe is still there; a reader must not open it instead
        // of the one the camera is about to make.
        state.PauseTiming();
        std::remove(rig->pipe.c_str());
        state.ResumeTiming();
        AnonSampler sampler;
        std::size_t received = 0;
        FifoReader reader(rig->pipe, [&received](std::string_view chunk) {
            received += chunk.size();
            return true;
        });
        const RC code = rig->camera->DownloadBaseLog(tick);
        reader.Finish();
        anonPeak = std::max(anonPeak, sampler.PeakGrowthKb());
        if (code != RC::Ok || received == 0) {
            state.SkipWithError("DownloadBaseLog failed");
            return;
        }
        moved += received;
    }
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(moved) / 1e6, benchmark::Counter::kIsRate);
    state.counters["peak_rss_growth_MB"] = static_cast<double>(StatusKb("VmHWM") - rssBefore) / 1024.0;
    state.counters["peak_heap_growth_MB"] = static_cast<double>(anonPeak) / 1024.0;
}

BENCHMARK(BM_CatLogIntoPipe)
    ->Setup(StartLogRig)
    ->Teardown(StopLogRig)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);
BENCHMARK(BM_CurlThenCatIntoPipe)
    ->Setup(StartLogRig)
    ->Teardown(StopLogRig)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);
BENCHMARK(BM_VeltaLogDownloadOnly)
    ->Setup(StartLogRig)
    ->Teardown(StopLogRig)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);
BENCHMARK(BM_VeltaLogDownloadTrimPipe)
    ->Setup(StartLogRig)
    ->Teardown(StopLogRig)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);

// ---- one asynchronous status report ----

struct StatusRig {
    DockSim::VeltaBase base{[] {
        DockSim::VeltaBaseSetup setup;
        setup.approval = DockSim::ApprovalMode::Never;
        return setup;
    }()};
    DockProtoVelta camera{base.Environment()};
};
std::unique_ptr<StatusRig> status;
void StartStatusRig(const benchmark::State&) {
    LogClient::SetLevel(LogLevel::Warning);
    status = std::make_unique<StatusRig>();
}
void StopStatusRig(const benchmark::State&) {
    status.reset();
}

// What the host's thread spends: the call that starts the report and hands
// back the handle. The handle is kept until the batch ends, as a host that
// polls later would.
void BM_VeltaChargeStatusAsyncStart(benchmark::State& state) {
    std::vector<std::unique_ptr<RestHandle>> out;
    for (auto _ : state) {
        auto started = status->camera.SetChargeStatusAsync(static_cast<DockProtoIF::ChargeStatus>(2));
        out.push_back(std::move(started.handle));
        if (out.size() == 8) {
            state.PauseTiming();
            for (auto& handle : out) {
                while (!handle->IsDone()) {
                    std::this_thread::yield();
                }
            }
            out.clear();
            state.ResumeTiming();
        }
    }
    out.clear();
}

// The whole report: started, polled until done, handle destroyed.
void BM_VeltaChargeStatusAsyncRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        auto started = status->camera.SetChargeStatusAsync(static_cast<DockProtoIF::ChargeStatus>(2));
        while (!started.handle->IsDone()) {
            std::this_thread::yield();
        }
    }
    state.counters["req/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The blocking form, for comparison.
void BM_VeltaChargeStatusSync(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(status->camera.SetChargeStatus(static_cast<DockProtoIF::ChargeStatus>(2)));
    }
    state.counters["req/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_VeltaChargeStatusAsyncStart)
    ->Setup(StartStatusRig)
    ->Teardown(StopStatusRig)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_VeltaChargeStatusAsyncRoundTrip)
    ->Setup(StartStatusRig)
    ->Teardown(StopStatusRig)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_VeltaChargeStatusSync)
    ->Setup(StartStatusRig)
    ->Teardown(StopStatusRig)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace tvo
