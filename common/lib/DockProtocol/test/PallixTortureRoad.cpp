// The Pallix road: the hello, the open request and the hosts file, and what
// each of them owes the host.

#include "TortureRoads.h"

#include <DockProtocol/DockProtoPallix.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/PallixDock.h>
#include <TestSupport/TestSupport.h>

#include <memory>
#include <utility>

namespace tvo::torture {
namespace {

const std::initializer_list<Failure> kThrowing = {Failure::Refused, Failure::ResetBeforeHeaders, Failure::NoAnswer,
                                                  Failure::ResetMidBody, Failure::GarbageBody};

// One open request may take the client's 30 s, then the 500 ms pause.
constexpr std::chrono::milliseconds kAttempt{30000 + 500};

}  // namespace

// The hosts file: what cannot be read or replaced fails the entry, which
// fails the hello and one open attempt (the next one enters the name). A file
// that cannot be made beside it, or renamed over it, is rewritten in place.
void AddHostsFilePromises(PromiseTable& table) {
    // The hello waits for the dock's datagram first; an open attempt may take its whole time.
    const Promise failedEntry{{RC::Failed}, DockSim::kPallixHelloWindow, LogLevel::Error, "Failed to open "};
    const Promise failedAttempt{{RC::Ok}, kAttempt, LogLevel::Error, "Failed to open "};
    for (const auto& [operation, failed] :
         {std::pair{"SayHello", failedEntry}, std::pair{"GetServerInfo", failedAttempt}}) {
        const Promise rewritten{{RC::Ok}, failed.bound, LogLevel::Info, "Added "};
        table.AddFor(operation, "open hosts", {Failure::NoSuchFile, Failure::AccessDenied}, failed);
        table.AddFor(operation, "read hosts", {Failure::IoError}, failed);
        table.AddFor(operation, "create hosts", {Failure::NoSuchFile, Failure::AccessDenied, Failure::DiskFull},
                     rewritten);
        table.AddFor(operation, "write hosts", {Failure::DiskFull}, failed);
        table.AddFor(operation, "write hosts", {Failure::ShortWrite}, rewritten);
        table.AddFor(operation, "rename to hosts", {Failure::AccessDenied}, rewritten);
        table.AddFor(operation, "rename to hosts", {Failure::NoSuchFile}, failed);
    }
}

PromiseTable PallixPromises() {
    PromiseTable table;
    table.Add("SayHello", {Failure::OpenFails}, {{RC::Failed}, 0ms, LogLevel::Error, "cannot bind to"});
    table.Add("SayHello", {Failure::Silence},
              {{RC::Failed}, DockSim::kPallixHelloWindow, LogLevel::Info, "Resource temporarily unavailable"});
    // One attempt fails; the next one succeeds.
    table.Add("GetServerInfo", kThrowing, {{RC::Ok}, kAttempt, LogLevel::Error, "Exception: "});
    table.Add("GetServerInfo", {Failure::ServerError},
              {{RC::Ok}, kAttempt, LogLevel::Error, "Received an error status in open request: 500"});
    AddHostsFilePromises(table);
    return table;
}

PromiseTable PallixPulledPromises() {
    PromiseTable table = PallixPromises();
    table.Add("GetServerInfo", {Failure::Refused}, {{RC::Failed}, 3 * kAttempt, LogLevel::Error, "Exception: "});
    return table;
}

namespace {

std::string Drive(DockProtoPallix& camera, StepRecorder& host) {
    std::string problems;
    host.Call("SetSerialNumber", [&] { return camera.SetSerialNumber("PMX-TORTURE-02"); });
    const RC hello = host.Call("SayHello", [&] { return camera.SayHello(); });
    if (hello != RC::Ok) {
        problems += std::string("SayHello gave ") + CodeName(hello) + "; ";
    }
    DockProtoIF::ServerInfo info;
    const RC opened = host.Call("GetServerInfo", [&] {
        const auto answer = camera.GetServerInfo();
        info = answer.value;
        return answer.code;
    });
    if (opened != RC::Ok || info.stationId != DockSim::PallixAgent::Offered().stationId) {
        problems += std::string("GetServerInfo gave ") + CodeName(opened) + "; ";
    }
    return problems;
}

// Each of our names has one entry, however many docks came and went.
std::string ExtraHostsEntries(const std::string& before, const std::string& hosts,
                              const ProtocolEnvironment& environment) {
    if (hosts.rfind(before, 0) != 0) {
        return "the hosts file's own lines changed ";
    }
    const std::string added = hosts.substr(before.size());
    std::string extra;
    for (const auto& name : {environment.pallix.dockHostName, environment.pallix.proxyHostName}) {
        const auto entries = CountOccurrences(added, "\t" + name + "\n");
        if (entries > 1) {
            extra += std::to_string(entries) + " entries for " + name + " ";
        }
    }
    return extra;
}

}  // namespace

RoadRun PallixRoad(FaultPlan& plan, const std::function<void()>& arm, Transport transport) {
    return MeasuredRun(LogLevel::Info, [&](RoadRun& run) {
        DockSim::PallixDockSetup setup;
        if (transport == Transport::InMemory) {
            setup.network = std::make_shared<DockSim::InMemoryNetwork>();
        }
        DockSim::PallixDock dock(setup);
        ProtocolEnvironment environment = dock.Environment();
        plan.Apply(environment, setup.network);
        plan.Reset();
        arm();
        DockProtoPallix camera(environment);
        StepRecorder host(plan, dock.Clock(), run.steps);
        int drives = 0;
        DriveTwice(plan, run, [&] {
            if (drives++ > 0) {
                dock.PlanHello();  // the dock greets again for the next road
            }
            return Drive(camera, host);
        });
        run.leftBehind = ExtraHostsEntries(setup.hostsText, dock.HostsText(), environment) +
                         StrayFiles(std::filesystem::path(dock.HostsFile()).parent_path(), {"hosts"});
    });
}

}  // namespace tvo::torture
