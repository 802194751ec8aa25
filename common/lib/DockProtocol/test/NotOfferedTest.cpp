// What a Pallix and an Oskin camera do not offer: each such operation answers
// NotSupported with an empty record or 0, and touches nothing outside the
// object (the fault plan counts no effect).

#include <DockProtocol/DockProtoOskin.h>
#include <DockProtocol/DockProtoPallix.h>
#include <DockProtocol/RestHandle.h>
#include <DockSim/FaultPlan.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/TestEnvironment.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;

// Every operation of the interface that answers a code, by name; the
// records and values come back empty or 0 when the code is NotSupported.
std::map<std::string, std::function<RC(DockProtoIF&)>> Operations() {
    using Dock = DockProtoIF;
    const auto empty = [](const auto& result) {
        using Value = std::decay_t<decltype(result.value)>;
        return result.value == Value{} ? result.code : RC::Failed;
    };
    const auto noHandle = [](Dock::AsyncResult result) { return result.handle ? RC::Failed : result.code; };
    return {
        {"SayHello", [](Dock& dock) { return dock.SayHello(); }},
        {"BlockProtocol", [](Dock& dock) { return dock.BlockProtocol(); }},
        {"ProvisionNetwork",
         [](Dock& dock) {
             const auto result = dock.ProvisionNetwork();
             const auto& value = result.value;
             const bool blank = value.addressMode == 0 && value.ipAddress.empty() && value.netmask.empty() &&
                                value.gateway.empty() && value.dns.empty() && value.macAddress.empty();
             return blank ? result.code : RC::Failed;
         }},
        {"SwitchChannel", [](Dock& dock) { return dock.SwitchChannel(); }},
        {"SetWifiMac", [](Dock& dock) { return dock.SetWifiMac("02:00:00:00:00:01"); }},
        {"SetSerialNumber", [](Dock& dock) { return dock.SetSerialNumber("PMX-1"); }},
        {"Associate",
         [](Dock& dock) {
             const auto result = dock.Associate();
             const auto& value = result.value;
             const bool blank = value.ssid.empty() && value.psk.empty() && value.ipAddr.empty() &&
                                value.macId.empty() && value.mqttAddress.empty() && value.mqttPassword.empty() &&
                                value.mqttCertificate.empty() && value.mqttPortNumber == 0;
             return blank ? result.code : RC::Failed;
         }},
        {"GetShutdown", [empty](Dock& dock) { return empty(dock.GetShutdown()); }},
        {"CheckNetwork", [empty](Dock& dock) { return empty(dock.CheckNetwork()); }},
        {"GetChargeFault", [empty](Dock& dock) { return empty(dock.GetChargeFault()); }},
        {"SetUploadStatus", [](Dock& dock) { return dock.SetUploadStatus(Dock::UploadStatus::Uploading); }},
        {"SetUploadStatusAsync",
         [noHandle](Dock& dock) { return noHandle(dock.SetUploadStatusAsync(Dock::UploadStatus::Uploading)); }},
        {"SetChargeStatus", [](Dock& dock) { return dock.SetChargeStatus(Dock::ChargeStatus::Charging); }},
        {"SetChargeStatusAsync",
         [noHandle](Dock& dock) { return noHandle(dock.SetChargeStatusAsync(Dock::ChargeStatus::Charging)); }},
        {"SetShutdownCallback", [](Dock& dock) { return dock.SetShutdownCallback([](Shutdown::ShutdownType) {}); }},
        {"SetTerminateBackendCallback", [](Dock& dock) { return dock.SetTerminateBackendCallback([] {}); }},
        {"RequestBaseLog", [](Dock& dock) { return dock.RequestBaseLog(100000); }},
        {"DownloadBaseLog", [](Dock& dock) { return dock.DownloadBaseLog(100000); }},
        {"Cancel", [](Dock& dock) { return dock.Cancel(); }},
    };
}

// Calls every operation the kind does not offer; the names of those that
// answered otherwise, and how many effects they made.
std::string NotOffered(DockProtoIF& dock, const std::set<std::string>& offered, const DockSim::FaultPlan& plan) {
    std::string wrong;
    for (const auto& [name, call] : Operations()) {
        if (offered.count(name) == 0 && call(dock) != RC::NotSupported) {
            wrong += name + " ";
        }
    }
    if (plan.Count() != 0) {
        wrong += std::to_string(plan.Count()) + " effects";
    }
    return wrong;
}

ProtocolEnvironment Counted(const TempDir& folder, DockSim::FaultPlan& plan) {
    ProtocolEnvironment environment = DockSim::TestEnvironment(folder.path().string());
    plan.Apply(environment, std::make_shared<DockSim::InMemoryNetwork>());
    return environment;
}

TEST(NotOffered, PallixAnswersNotSupportedAndTouchesNothing) {
    const TempDir folder;
    DockSim::FaultPlan plan;
    DockProtoPallix dock(Counted(folder, plan));
    EXPECT_EQ(NotOffered(dock, {"SayHello", "SetSerialNumber", "GetServerInfo", "Cancel"}, plan), "");
    EXPECT_EQ(dock.GetName(), "Pallix");
    EXPECT_EQ(dock.SetSerialNumber("PMX-1"), RC::Ok);
    EXPECT_EQ(dock.Cancel(), RC::Ok) << "nothing to stop is no failure";
}

TEST(NotOffered, OskinAnswersNotSupportedAndTouchesNothing) {
    const TempDir folder;
    DockSim::FaultPlan plan;
    DockProtoOskin dock(Counted(folder, plan), nullptr);
    EXPECT_EQ(NotOffered(dock, {"SayHello"}, plan), "");
    EXPECT_EQ(dock.GetName(), "Oskin");
    const auto info = dock.GetServerInfo();
    EXPECT_EQ(info.code, RC::Ok) << "location only, without a server";
    EXPECT_EQ(info.value.serverUrlType, DockProtoIF::ServerUrlType::LocationOnly);
}

}  // namespace
}  // namespace tvo
