// The Oskin road: the link, the camera's server, the base's conversation and
// the server information it pushed, and what each step owes the host.

#include "TortureRoads.h"

#include <DockProtocol/DockProtoOskin.h>
#include <DockSim/FaultPlan.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/OskinBase.h>

#include <iostream>

namespace tvo::torture {
namespace {

constexpr const char* kTenant = "6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b";

}  // namespace

PromiseTable OskinPromises() {
    PromiseTable table;
    table.Add("SayHello", {Failure::Refusal}, GadgetRefused());
    table.Add("SayHello", {Failure::AddressInUse},
              {{RC::InProgress}, 0ms, LogLevel::Error, "Failed to start Oskin REST server, error: "});
    return table;
}

namespace {

// The host's road; what went wrong for a road that must work. A camera whose
// server listens is greeted once a docking: a second hello would find the
// address held by the first server and answer InProgress, as it must.
std::string Drive(DockProtoOskin& camera, DockSim::OskinBase& base, StepRecorder& host, bool& serving) {
    std::string problems;
    // The host calls again while the link or the server is not up yet.
    for (int call = 0; call < 3 && !serving; ++call) {
        serving = host.Call("SayHello", [&] { return camera.SayHello(); }) == RC::Ok;
    }
    if (!serving) {
        problems += "SayHello never gave Ok; ";
    }
    const auto greeted = base.SayHello();
    const auto ready = base.ConnectionReady();
    const auto pushed = base.SetServerInfo(DockSim::SampleServerInfo(kTenant));
    if (greeted.status != 200 || ready.status != 200 || pushed.status != 200) {
        problems += "the base's conversation: " + DockSim::Describe(greeted) + " / " + DockSim::Describe(ready) +
                    " / " + DockSim::Describe(pushed) + "; ";
    }
    DockProtoIF::ServerInfo info;
    host.Call("GetServerInfo", [&] {
        const auto answer = camera.GetServerInfo();
        info = answer.value;
        return answer.code;
    });
    if (info.tenantId != kTenant) {
        problems += "GetServerInfo gave tenant " + info.tenantId + "; ";
    }
    return problems;
}

}  // namespace

RoadRun OskinRoad(FaultPlan& plan, const std::function<void()>& arm, Transport transport) {
    return MeasuredRun(LogLevel::Info, [&](RoadRun& run) {
        DockSim::OskinBaseSetup setup;
        if (transport == Transport::InMemory) {
            setup.network = std::make_shared<DockSim::InMemoryNetwork>();
        }
        DockSim::OskinBase base(setup);
        DockSim::OskinCameraAnswers answers{
            {"http://127.0.0.1/camera/config.json", {{"video", {{"resolution", "1080p"}}}}, true, kTenant}};
        ProtocolEnvironment environment = base.Environment();
        plan.Apply(environment, setup.network);
        DockSim::VirtualClock unused;  // loopback has no virtual time to read
        plan.Reset();
        arm();
        DockProtoOskin camera(environment, &answers);
        StepRecorder host(plan, setup.network ? setup.network->Clock() : unused, run.steps);
        bool serving = false;
        DriveTwice(plan, run, [&] { return Drive(camera, base, host, serving); });
    });
}

}  // namespace tvo::torture
