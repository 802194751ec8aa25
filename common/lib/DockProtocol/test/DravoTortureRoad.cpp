// The Dravo road: the image transfer, the configuration read from it, the
// status writes and the link checks, and what each owes the host.

#include "TortureRoads.h"

#include <DockProtocol/DockProtoDravo.h>
#include <DockSim/DravoCradle.h>

#include <memory>

namespace tvo::torture {
namespace {

using DockSim::DravoChip;

const std::initializer_list<Failure> kRefused = {Failure::IoError, Failure::NotSupported};
const std::initializer_list<Failure> kBadBytes = {Failure::ShortTransfer, Failure::Garbled};
// The block protocol waits up to three times 250 ms for the cradle.
constexpr std::chrono::milliseconds kResyncWaits{3 * 250};

}  // namespace

std::string DravoInterface(DravoChip chip) {
    return DockSim::CradleSetupFor(DockSim::SampleDravoConfiguration(chip)).interfaceName;
}

PromiseTable DravoPromises(const std::string& interfaceName) {
    PromiseTable table;
    // A socket that did not open: the object answers Failed from then on.
    table.Otherwise("Construct", {{RC::Ok}, 0ms, LogLevel::Info, ""});

    table.Add("SayHello", kRefused, {{RC::Failed}, kResyncWaits, LogLevel::Detail, "SIOCETHTOOL failed: "});
    table.Add("SayHello", {Failure::OpenFails}, {{RC::Failed}, 0ms, LogLevel::Info, ""});
    // The PHY address is asked for on the way; not having it is no failure.
    table.AddFor("SayHello", "SIOCGMIIPHY", kRefused, {{RC::Ok, RC::InProgress}, kResyncWaits, LogLevel::Info, ""});
    // The image is taken as the cradle gives it: no check of its bytes.
    table.Add("SayHello", kBadBytes, {{RC::Ok, RC::InProgress, RC::Failed}, kResyncWaits, LogLevel::Info, ""});
    table.Add("BlockProtocol", kRefused, {{RC::Failed}, kResyncWaits, LogLevel::Detail, "SIOCETHTOOL failed: "});
    table.Add("BlockProtocol", kBadBytes, {{RC::Ok, RC::InProgress, RC::Failed}, kResyncWaits, LogLevel::Info, ""});
    table.Otherwise("ProvisionNetwork", {{RC::Failed}, 0ms, LogLevel::Info, ""});
    table.Otherwise("GetServerInfo", {{RC::Failed}, 0ms, LogLevel::Error, "bad MAC address"});
    table.Otherwise("SetUploadStatus", {{RC::Failed}, 0ms, LogLevel::Detail, "SIOCETHTOOL failed: "});
    table.AddFor("SetUploadStatus", "SIOCGMIIPHY", kRefused,
                 {{RC::Failed}, 0ms, LogLevel::Detail, "SIOCGMIIPHY failed: "});
    table.Add("SetChargeStatus", kRefused, {{RC::Failed}, 0ms, LogLevel::Detail, "SIOCETHTOOL failed: "});
    table.Add("GetChargeFault", kRefused, {{RC::Failed}, kResyncWaits, LogLevel::Info, ""});
    table.Add("GetChargeFault", kBadBytes, {{RC::Ok, RC::Failed}, kResyncWaits, LogLevel::Info, ""});
    table.AddFor("CheckNetwork", "state of", {Failure::Unreadable},
                 {{RC::Failed}, 0ms, LogLevel::Warning, interfaceName + " not up!"});
    table.AddFor("CheckNetwork", "address of", {Failure::Unreadable},
                 {{RC::Failed}, 0ms, LogLevel::Warning, "failed to get IP address on " + interfaceName});
    return table;
}

namespace {

// The host's road on a docked camera, as far as it goes; what went wrong
// for a road that must work. The image is transferred once a docking: the
// next road starts over only when the last transfer did not end.
std::string Drive(DockProtoDravo& camera, StepRecorder& host, bool& transferred) {
    std::string problems;
    const auto expect = [&](RC code, const std::string& what) {
        if (code != RC::Ok) {
            problems += what + " gave " + CodeName(code) + "; ";
        }
    };
    RC code = RC::Ok;
    if (!transferred) {
        code = host.Call("SayHello", [&] { return camera.SayHello(); });
        // A cradle that keeps the transfer going must not hold the road forever.
        for (int call = 0; call < 20 && code == RC::InProgress; ++call) {
            code = host.Call("BlockProtocol", [&] { return camera.BlockProtocol(); });
        }
        transferred = code == RC::Ok;
    }
    expect(code, "the image transfer");
    expect(host.Call("ProvisionNetwork", [&] { return camera.ProvisionNetwork().code; }), "ProvisionNetwork");
    expect(host.Call("GetServerInfo", [&] { return camera.GetServerInfo().code; }), "GetServerInfo");
    expect(host.Call("SetUploadStatus", [&] { return camera.SetUploadStatus(DockProtoIF::UploadStatus::Uploading); }),
           "SetUploadStatus");
    expect(host.Call("SetChargeStatus", [&] { return camera.SetChargeStatus(DockProtoIF::ChargeStatus::Charging); }),
           "SetChargeStatus");
    expect(host.Call("GetChargeFault", [&] { return camera.GetChargeFault().code; }), "GetChargeFault");
    expect(host.Call("CheckNetwork", [&] { return camera.CheckNetwork().code; }), "CheckNetwork");
    return problems;
}

}  // namespace

RoadRun DravoRoad(DravoChip chip, FaultPlan& plan, const std::function<void()>& arm) {
    return MeasuredRun(LogLevel::Detail, [&](RoadRun& run) {
        auto setup = DockSim::CradleSetupFor(DockSim::SampleDravoConfiguration(chip));
        setup.reaction = std::chrono::milliseconds(100);
        DockSim::DravoCradle cradle(setup);
        ProtocolEnvironment environment = cradle.Environment();
        plan.Apply(environment, nullptr);
        plan.Reset();
        arm();
        StepRecorder host(plan, cradle.Clock(), run.steps);
        std::unique_ptr<DockProtoDravo> camera;
        host.Call("Construct", [&] {
            camera = std::make_unique<DockProtoDravo>(environment);
            return RC::Ok;
        });
        bool transferred = false;
        int drives = 0;
        DriveTwice(plan, run, [&] {
            if (drives++ > 0 && !run.struck.empty() && run.struck.front().second.operation == "Construct 1") {
                // An object whose ioctl socket never opened answers Failed for
                // its life; the host makes a new one.
                camera = std::make_unique<DockProtoDravo>(environment);
                transferred = false;
            }
            return Drive(*camera, host, transferred);
        });
    });
}

}  // namespace tvo::torture
