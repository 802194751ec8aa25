#include "LinkCheck.h"
#include "RoadWait.h"
#include "Roads.h"

#include <DockProtocol/DockProtocol.h>
#include <DockSim/PallixDock.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace dockhost {
namespace {

using Dock = tvo::DockProtoIF;
using namespace std::chrono_literals;

constexpr const char* kSerialNumber = "PMX-DOCKHOST-01";

// Calls Cancel from a second thread once the delay has passed, as a host's
// other thread would; stopped early when the road moves on first. With an
// emulated dock it also waits for the request to reach the agent, so that
// the cancel lands while the agent is slow however loaded the machine is.
class DelayedCancel {
public:
    DelayedCancel(Dock& dock, std::chrono::milliseconds delay, std::function<void()> awaitRequest)
        : thread([this, &dock, delay, awaitRequest] {
              const auto due = std::chrono::steady_clock::now() + delay;
              if (awaitRequest) {
                  awaitRequest();
              }
              std::unique_lock<std::mutex> lock(mutex);
              if (!stopped.wait_until(lock, due, [this] { return stop; })) {
                  code = dock.Cancel();
              }
          }) {}

    ~DelayedCancel() { Stop(); }

    // Whether Cancel was called, and what it answered.
    std::optional<ReturnCode> Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        stopped.notify_all();
        if (thread.joinable()) {
            thread.join();
        }
        return code;
    }

private:
    std::mutex mutex;
    std::condition_variable stopped;
    bool stop = false;
    std::optional<ReturnCode> code;
    std::thread thread;  // last: starts once the rest is ready
};

std::string Lines(const std::vector<std::string>& items) {
    std::string joined;
    for (const auto& item : items) {
        joined += (joined.empty() ? "" : " | ") + item;
    }
    return joined;
}

// The hosts-file entries the camera added, one "address name" per block.
std::string AddedEntries(const std::string& before, const std::string& after) {
    std::istringstream added(after.substr(std::min(before.size(), after.size())));
    std::vector<std::string> entries;
    for (std::string line; std::getline(added, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (const auto tab = line.find('\t'); tab != std::string::npos) {
            line[tab] = ' ';
        }
        entries.push_back(line);
    }
    return Lines(entries);
}

// SayHello, SetSerialNumber and GetServerInfo; the last one with a Cancel
// from a second thread when asked.
Dock::Result<Dock::ServerInfo> Drive(Dock& dock, const RoadOptions& options, RoadReport& report,
                                     std::initializer_list<ReturnCode> expectedServerInfo,
                                     std::function<void()> awaitRequest = {}) {
    const auto& interfaceName = tvo::ProtocolEnvironment::Production().pallix.interfaceName;
    const bool heard = report.Step("SayHello", dock.SayHello(), {ReturnCode::Ok});
    if (!Required(report, heard, [&] {
            if (options.simulate) {
                return std::string("no hello from the emulated dock");
            }
            const std::string lacking = MissingInterface(interfaceName);
            return lacking.empty() ? "no hello from a dock on " + interfaceName : lacking;
        })) {
        return {Dock::ServerInfo::Neutral(), ReturnCode::Failed};
    }
    report.Step("SetSerialNumber", dock.SetSerialNumber(kSerialNumber), {ReturnCode::Ok},
                {{"serialNumber", kSerialNumber}});
    std::optional<DelayedCancel> canceller;
    if (options.cancelAfterMs >= 0) {
        canceller.emplace(dock, std::chrono::milliseconds(options.cancelAfterMs), std::move(awaitRequest));
    }
    // Three attempts at the client's own limits could take minutes.
    Watchdog limit(options.timeout, [&dock] { dock.Cancel(); });
    const auto started = std::chrono::steady_clock::now();
    const auto server = dock.GetServerInfo();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    const auto cancelled = canceller ? canceller->Stop() : std::nullopt;
    if (limit.Stop() && !canceller) {
        report.Step("GetServerInfo", server.code, expectedServerInfo, {{"took", std::to_string(took.count()) + " ms"}});
        report.Stop(Interrupted()
                        ? std::string("interrupted")
                        : "no answer from the dock's agent within " + std::to_string(options.timeout.count()) + " s");
        return server;
    }
    report.Step("GetServerInfo", server.code, expectedServerInfo,
                {{"serverInfo", Describe(server.value)}, {"took", std::to_string(took.count()) + " ms"}});
    if (canceller) {
        if (cancelled) {
            report.Step("Cancel", *cancelled, {ReturnCode::Ok},
                        {{"calledAfter", std::to_string(options.cancelAfterMs) + " ms"}, {"from", "a second thread"}});
        } else {
            report.Note("GetServerInfo ended before Cancel was due");
        }
    }
    return server;
}

void RunSimulated(const RoadOptions& options, RoadReport& report) {
    using namespace tvo::DockSim;
    const bool cancelling = options.cancelAfterMs >= 0;
    PallixDockSetup setup;
    if (cancelling) {
        // Slower than the cancel, so that it lands while the camera waits.
        setup.agent.answers = {PallixAnswer::Slow};
        setup.agent.slowFor = std::chrono::milliseconds(options.cancelAfterMs) + 5s;
    }
    PallixDock dock(setup);
    report.Note("emulated Pallix dock: hello to [::1]:" + std::to_string(dock.DiscoveryPort()) +
                ", agent on http://127.0.0.1:" + std::to_string(dock.Agent().Port()) + "/emapi/open" +
                (cancelling ? " (answering slowly)" : ""));
    tvo::DockProtoPallix object(Recorded(options, dock.Environment()));
    const Driven camera(options, object);
    const auto server = Drive(*camera, options, report, {cancelling ? ReturnCode::Failed : ReturnCode::Ok},
                              [&dock] { dock.Agent().WaitForRequests(1, 30s); });
    dock.Agent().ReleaseSlowAnswers();

    // What the agent saw and what the camera made of it.
    std::vector<std::string> mismatches;
    const auto requests = dock.Agent().Requests();
    const std::string expectedBody = std::string(R"({"did":")") + kSerialNumber + "\"}";
    if (requests.empty() || requests.front() != expectedBody) {
        mismatches.push_back("the agent did not receive " + expectedBody);
    }
    if (cancelling && requests.size() != 1) {
        mismatches.push_back(std::to_string(requests.size()) + " open requests despite the cancel");
    }
    if (!cancelling) {
        const auto offered = PallixAgent::Offered();
        const auto& info = server.value;
        if (info.stationId != offered.stationId || info.tenantId != offered.tenantId ||
            info.primaryServerUrl != offered.primaryUrl || info.port != std::to_string(offered.port)) {
            mismatches.push_back("the server information differs from the agent's answer");
        }
        if (info.proxy != "http://localhost:" + std::to_string(setup.agent.connectPort)) {
            mismatches.push_back("proxy " + info.proxy);
        }
    }
    Values values{{"requests", Lines(requests)}, {"hostsEntries", AddedEntries(setup.hostsText, dock.HostsText())}};
    for (const auto& mismatch : mismatches) {
        values.emplace_back("mismatch", mismatch);
    }
    report.Step("AgentAndCameraAgree", mismatches.empty() ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok},
                values);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(dock.Clock().Slept());
    report.Note("virtual time waited: " + std::to_string(waited.count()) + " ms");
}

}  // namespace

void RunPallixRoad(const RoadOptions& options, RoadReport& report) {
    if (options.simulate) {
        RunSimulated(options, report);
        return;
    }
    // The factory's object, with the environment it would get.
    tvo::DockProtoPallix object(Recorded(options, tvo::ProtocolEnvironment::Production()));
    const Driven dock(options, object);
    const auto& production = tvo::ProtocolEnvironment::Production().pallix;
    report.Note("protocol object: " + std::string(dock->GetName()) + ", hello on \"" + production.interfaceName +
                "\" port " + std::to_string(production.discoveryPort) + ", entries in " + production.hostsFile);
    if (options.cancelAfterMs >= 0) {
        // A real dock may answer before the cancel is due.
        Drive(*dock, options, report, {ReturnCode::Ok, ReturnCode::Failed});
    } else {
        Drive(*dock, options, report, {ReturnCode::Ok});
    }
}

}  // namespace dockhost
