#pragma once
// A host's whole roads on a Velta dock, each run once in memory and once over
// loopback sockets, so that both transports carry the same conversation.

#include "VeltaTestSupport.h"

#include <DockProtocol/ProtocolEnvironment.h>
#include <DockSim/VeltaBaseFirmware.h>
#include <TestSupport/TestSupport.h>

#include <future>
#include <string>
#include <vector>

namespace tvo::velta_test {

// Hello, an association the base grants on its own after the second
// announcement, server information and a shutdown order.
inline void AssociationRoad(DockSim::VeltaBaseSetup setup) {
    const std::string announcement = "device_announement_usb";
    setup.approval = DockSim::ApprovalMode::AfterAnnouncements;
    setup.approveAfter = 2;  // the camera has to announce again
    VeltaRig rig(setup);
    std::promise<Shutdown::ShutdownType> shutdown;
    ASSERT_EQ(rig.camera.SetShutdownCallback([&](Shutdown::ShutdownType type) { shutdown.set_value(type); }), RC::Ok);

    ASSERT_EQ(rig.camera.SayHello(), RC::Ok);
    EXPECT_EQ(rig.camera.SetWifiMac("aa:bb:cc:00:11:22"), RC::Ok);
    EXPECT_EQ(rig.camera.SetSerialNumber("X81234567"), RC::Ok);

    // Announce, wait two polls, announce again; the base's approval then
    // comes from its own thread, before the six polls of waiting are over.
    DockProtoIF::Result<DockProtoIF::AssociationInfo> association;
    for (int poll = 0; poll < 9 && association.code != RC::Ok; ++poll) {
        association = rig.camera.Associate();
        ASSERT_NE(association.code, RC::Failed);
        if (rig.base.Count(Direction::CameraToBase, announcement) == 2) {
            ASSERT_TRUE(rig.base.WaitFor(Direction::BaseToCamera, "device_announement_usb_approved", 1, kThreadWait));
        }
    }
    ASSERT_EQ(association.code, RC::Ok);
    EXPECT_EQ(association.value.ssid, setup.grant.ssid);
    EXPECT_EQ(association.value.psk, setup.grant.psk);
    EXPECT_EQ(association.value.ipAddr, setup.grant.ipAddr);
    EXPECT_EQ(association.value.macId, setup.grant.macId);
    EXPECT_EQ(rig.base.Count(Direction::CameraToBase, announcement), 2u);

    const auto info = rig.camera.GetServerInfo();
    EXPECT_EQ(info.code, RC::Ok);
    EXPECT_EQ(info.value.roomDescription, setup.room);
    EXPECT_EQ(info.value.stationId, setup.station);

    EXPECT_EQ(rig.base.SendShutdownNow().reply, "Received");
    auto ordered = shutdown.get_future();
    ASSERT_EQ(ordered.wait_for(kThreadWait), std::future_status::ready);
    EXPECT_EQ(ordered.get(), static_cast<Shutdown::ShutdownType>(0));

    const auto log = rig.base.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().target, "/UsbRest/1.0?type=say_hello");
    for (const auto& exchange : log) {
        if (exchange.type == announcement) {
            EXPECT_NE(exchange.request.find(R"("mac_id":"aa:bb:cc:00:11:22")"), std::string::npos);
            EXPECT_NE(exchange.request.find(R"("serial_number":"X81234567")"), std::string::npos);
        }
        if (exchange.direction == Direction::BaseToCamera && exchange.type == "device_announement_usb_approved") {
            EXPECT_EQ(exchange.reply, "OK");
        }
    }
}

// Status reports both ways, then the base's log asked for, downloaded and
// handed on through the pipe from the host's tick.
inline void ReportingRoad(DockSim::VeltaBaseSetup setup) {
    TempDir folder;
    setup.baseLogFile = folder.file("base-side.log").string();
    setup.cameraLogFolder = folder.path().string();
    DockSim::GenerateBaseLog(setup.baseLogFile, 256 * 1024);
    VeltaRig rig(setup);
    rig.Start();

    EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<DockProtoIF::UploadStatus>(1)), RC::Ok);
    auto charge = rig.camera.SetChargeStatusAsync(static_cast<DockProtoIF::ChargeStatus>(2));
    ASSERT_EQ(charge.code, RC::InProgress);
    ASSERT_TRUE(charge.handle);
    EXPECT_TRUE(PollUntilDone(*charge.handle));
    DockSim::ChargeReport report;
    report.fault = 1;
    EXPECT_EQ(rig.base.SendChargeStatus(report).reply, "OK");
    EXPECT_EQ(rig.camera.GetChargeFault().value, 7u);

    const auto tick = DockSim::BaseLogTick(500);
    EXPECT_EQ(rig.camera.RequestBaseLog(tick), RC::Ok);
    std::string received;
    FifoReader reader(
        folder.file("wifilogpipe"),
        [&](std::string_view chunk) {
            received.append(chunk);
            return true;
        },
        std::chrono::seconds(30));
    EXPECT_EQ(rig.camera.DownloadBaseLog(tick), RC::Ok);
    reader.Finish();
    const std::string whole = ReadFile(setup.baseLogFile);
    EXPECT_EQ(received, whole.substr(whole.find(std::to_string(tick))));

    std::vector<std::string> types;
    for (const auto& exchange : rig.base.Log()) {
        types.push_back((exchange.direction == Direction::CameraToBase ? "> " : "< ") + exchange.type);
        EXPECT_TRUE(exchange.error.empty()) << Describe(exchange);
    }
    EXPECT_EQ(types, (std::vector<std::string>{"> say_hello", "> upload_status", "> charge_status", "< charge_status",
                                               "> request_base_log", "> "}));
}

// The base asks for the firmware package's version, the package and the
// camera's configuration, and every answer names a file the camera has.
inline void FirmwareRoad(DockSim::VeltaBaseSetup setup) {
    DockSim::VeltaBase base(std::move(setup));
    DockSim::FirmwareArea area;
    ProtocolEnvironment environment = base.Environment();
    area.Apply(environment.files);
    DockProtoVelta camera(environment);
    ASSERT_EQ(camera.SayHello(), RC::Ok);

    const auto version = DockSim::AskUpgradePkgVersion(base);
    EXPECT_TRUE(version.Sound()) << Describe(version);
    EXPECT_EQ(version.version, "2.1.0");
    const auto package = DockSim::AskUpgradePkg(base);
    EXPECT_TRUE(package.Sound()) << Describe(package);
    EXPECT_EQ(package.result, "OK");
    EXPECT_EQ(package.uri, area.ZipPackage());
    const auto config = DockSim::AskCameraConfig(base);
    EXPECT_TRUE(config.Sound()) << Describe(config);
    EXPECT_EQ(config.uri, area.ConfigFile());
}

}  // namespace tvo::velta_test
