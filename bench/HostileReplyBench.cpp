// What a dock that never stops answering costs the camera: a reply body
// without end against a request (the Pallix open request, the Velta log
// request: limit 1 MiB) and against the base-log download (its own limit),
// each until the limit ends it. Reported: the peak resident growth during
// the call and what stays after it, in KiB.

#include <benchmark/benchmark.h>

#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>

namespace tvo {
namespace {

constexpr std::size_t kRequestLimit = std::size_t{1} << 20;
constexpr std::size_t kLogLimit = std::size_t{64} << 20;  // the Velta camera's base-log limit

// Answers every request with a chunked 200 that never ends, until the client
// hangs up.
class EndlessServer {
public:
    EndlessServer() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 8);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread = std::thread([this] { Run(); });
    }
    ~EndlessServer() {
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
    }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(port); }

private:
    void Run() {
        const std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
        const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
        for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            char request[4096];
            (void)!::recv(fd, request, sizeof request, 0);
            bool open = ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) > 0;
            while (open) {
                open = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0;
            }
            ::close(fd);
        }
    }

    int listener = -1;
    int port = 0;
    std::thread thread;
};

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string wanted = std::string(field) + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(wanted, 0) == 0) {
            return std::stol(line.substr(wanted.size()));
        }
    }
    return -1;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Runs call once per iteration; reports the largest peak growth and what
// was left after the last one.
template <typename Call>
void MeasureGrowth(benchmark::State& state, Call call) {
    LogClient::SetLevel(LogLevel::Error);
    EndlessServer dock;
    call(dock.Address());  // pools, caches and the first allocations in place
    long peakGrowth = 0;
    long left = 0;
    for (auto _ : state) {
        const long before = StatusKb("VmRSS");
        ResetPeak();
        if (!call(dock.Address())) {
            state.SkipWithError("the endless reply was not refused");
            return;
        }
        peakGrowth = std::max(peakGrowth, StatusKb("VmHWM") - before);
        left = StatusKb("VmRSS") - before;
    }
    state.counters["peak_growth_KiB"] = static_cast<double>(peakGrowth);
    state.counters["left_KiB"] = static_cast<double>(left);
}

void BM_EndlessReplyToARequest(benchmark::State& state) {
    MeasureGrowth(state, [](const std::string& address) {
        HttpClient client(nullptr, address, std::chrono::seconds(10), nullptr);
        const auto response = client.request("POST", "/emapi/open", "{\"did\":\"x\"}").get();
        try {
            response.extract_string().get();
            return false;
        } catch (const std::exception&) {
            return true;  // past the limit
        }
    });
    state.counters["limit_KiB"] = static_cast<double>(kRequestLimit / 1024);
}

void BM_EndlessBaseLogDownload(benchmark::State& state) {
    TempDir folder;
    const std::string copy = folder.file("velta.log").string();
    MeasureGrowth(state, [&copy](const std::string& address) {
        HttpClient client(nullptr, address, std::chrono::seconds(10), nullptr);
        client.setMaxReplySize(kLogLimit);
        return !client.download(copy);
    });
    state.counters["limit_KiB"] = static_cast<double>(kLogLimit / 1024);
}

BENCHMARK(BM_EndlessReplyToARequest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_EndlessBaseLogDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace tvo
