// Requests per second of each server kind at 1 and 8 connections, each
// server alone in a child process pinned to one core and the load pinned to
// another (what taskset does), three interleaved rounds, medians reported;
// with the server process's threads and peak resident memory. Then the
// outbound side the same way: round trips per second of each client kind
// against the one-thread Beast server.
//
//   pmx_server_bench [seconds per measurement]
//   pmx_server_bench --serve <kind> <port>     (the child's side)

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <TestSupport/TestSupport.h>

#include "BenchServers.h"
#include "ClientRoundTrips.h"
#include "LoadGenerator.h"

namespace {

using tvo::bench::ServerKind;

constexpr int kRounds = 3;
const int kConnections[] = {1, 8};

int Serve(const std::string& kind, int port) {
    try {
        const auto server = tvo::bench::StartServer(kind, port);
        std::cout << "ready" << std::endl;
        std::string ignored;
        while (std::getline(std::cin, ignored)) {
        }
        return 0;
    } catch (const std::exception& e) {
        std::cout << "failed: " << e.what() << std::endl;
        return 1;
    }
}

std::vector<int> AllowedCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) {
                cpus.push_back(cpu);
            }
        }
    }
    return cpus;
}

void PinTo(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::sched_setaffinity(0, sizeof set, &set);
}

// A server child: its pid, and the pipe whose closing ends it.
struct Child {
    pid_t pid = -1;
    int input = -1;
    ~Child() {
        if (input >= 0) {
            ::close(input);
        }
        if (pid > 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
};

void Start(Child& child, const std::string& kind, int port, int cpu) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    child.pid = ::fork();
    if (child.pid == 0) {
        PinTo(cpu);
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        // The servers' log lines (the Velta camera's failed version requests
        // to a base that is not there) are not what is measured.
        const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(quiet, 2);
        const std::string portText = std::to_string(port);
        ::execl("/proc/self/exe", "pmx_server_bench", "--serve", kind.c_str(), portText.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    child.input = toChild[1];
    std::string line;
    char c;
    while (::read(fromChild[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    ::close(fromChild[0]);
    if (line != "ready") {
        throw std::runtime_error(kind + " did not start: " + line);
    }
}

// "Threads:" and "VmHWM:" (KiB) of a process.
std::pair<long, long> ThreadsAndPeak(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long threads = 0;
    long peak = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) {
            threads = std::stol(line.substr(8));
        } else if (line.rfind("VmHWM:", 0) == 0) {
            peak = std::stol(line.substr(6));
        }
    }
    return {threads, peak};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--serve") {
        return Serve(argv[2], std::stoi(argv[3]));
    }
    const std::chrono::milliseconds duration(argc > 1 ? static_cast<long>(std::stod(argv[1]) * 1000) : 1500);
    const std::vector<int> cpus = AllowedCpus();
    const int serverCpu = cpus.empty() ? 0 : cpus.front();
    const int loadCpu = cpus.size() > 1 ? cpus[1] : serverCpu;
    PinTo(loadCpu);
    std::printf("server on cpu %d, load on cpu %d, %d rounds of %.1f s per measurement\n", serverCpu, loadCpu, kRounds,
                duration.count() / 1000.0);

    std::map<std::string, std::map<int, std::vector<double>>> rates;
    std::map<std::string, std::pair<long, long>> usage;
    for (int round = 1; round <= kRounds; ++round) {
        for (const ServerKind& kind : tvo::bench::ServerKinds()) {
            try {
                Child child;
                const int port = tvo::FreeTcpPort();
                Start(child, kind.name, port, serverCpu);
                for (int connections : kConnections) {
                    rates[kind.name][connections].push_back(
                        tvo::bench::PutRate(port, kind.target, kind.body, connections, duration));
                }
                const auto [threads, peak] = ThreadsAndPeak(child.pid);
                usage[kind.name].first = std::max(usage[kind.name].first, threads);
                usage[kind.name].second = std::max(usage[kind.name].second, peak);
            } catch (const std::exception& e) {
                std::printf("%s: %s\n", kind.name.c_str(), e.what());
            }
        }
    }

    auto median = [&](const std::string& kind, int connections) { return Median(rates[kind][connections]); };
    std::printf("\n%-16s %12s %12s %8s %10s   %-22s %-22s\n", "server", "1 conn/s", "8 conn/s", "threads", "peak MB",
                "vs cpprest-2 (1 / 8)", "vs beast-1 (1 / 8)");
    for (const ServerKind& kind : tvo::bench::ServerKinds()) {
        const double one = median(kind.name, 1);
        const double eight = median(kind.name, 8);
        std::printf("%-16s %12.0f %12.0f %8ld %10.1f   %5.2fx / %5.2fx        %5.2fx / %5.2fx\n", kind.name.c_str(),
                    one, eight, usage[kind.name].first, usage[kind.name].second / 1024.0, one / median("cpprest-2", 1),
                    eight / median("cpprest-2", 8), one / median("beast-1", 1), eight / median("beast-1", 8));
    }

    // The clients in this process, on the load's core; the server alone on its own.
    std::map<std::string, std::vector<double>> trips;
    const ServerKind& yardstick = tvo::bench::ServerKinds().back();
    for (int round = 1; round <= kRounds; ++round) {
        try {
            Child child;
            const int port = tvo::FreeTcpPort();
            Start(child, yardstick.name, port, serverCpu);
            for (const std::string& kind : tvo::bench::ClientKinds()) {
                trips[kind].push_back(
                    tvo::bench::RoundTripRate(kind, port, yardstick.target, yardstick.body, duration));
            }
        } catch (const std::exception& e) {
            std::printf("clients: %s\n", e.what());
        }
    }
    std::printf("\n%-16s %14s   %s\n", "client", "round trips/s", "vs cpprest-2");
    for (const std::string& kind : tvo::bench::ClientKinds()) {
        std::printf("%-16s %14.0f   %5.2fx\n", kind.c_str(), Median(trips[kind]),
                    Median(trips[kind]) / Median(trips["cpprest-2"]));
    }
    return 0;
}
