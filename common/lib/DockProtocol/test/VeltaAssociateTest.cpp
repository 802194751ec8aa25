// The camera's side of the Velta link against the emulated base: the
// announcement and approval polling of Associate, and the server information
// with its fallback.

#include "VeltaTestSupport.h"

#include <DockProtocol/ProtocolEnvironment.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <algorithm>

namespace tvo::velta_test {
namespace {

using DockSim::ApprovalMode;
using DockSim::BodyFault;
using DockSim::ReplyScript;

TEST(VeltaAssociate, AnnouncesThenWaitsTwoPollsThenSixBeforeAnnouncingAgain) {
    ScopedLogCapture log;
    VeltaRig rig;
    rig.Start();
    rig.camera.SetWifiMac("aa:bb:cc:00:11:22");
    rig.camera.SetSerialNumber("X81234567");
    const std::string announcement = "device_announement_usb";

    std::vector<std::size_t> announcedAfter;
    for (int poll = 1; poll <= 11; ++poll) {
        const auto result = rig.camera.Associate();
        EXPECT_EQ(result.code, RC::InProgress) << poll;
        EXPECT_EQ(result.value.ssid, "") << poll;
        announcedAfter.push_back(rig.base.Count(Direction::CameraToBase, announcement));
    }
    EXPECT_EQ(announcedAfter, (std::vector<std::size_t>{1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 3}));
    EXPECT_EQ(LinesWith(log.Sink(), "Failed to receive Device Announcement USB Approved message"), 2u);

    rest::DeviceAnnouncementElementUSB expected;
    expected.mac_id = "aa:bb:cc:00:11:22";
    expected.serial_number = "X81234567";
    for (const auto& exchange : rig.base.Log()) {
        if (exchange.type == announcement) {
            EXPECT_EQ(exchange.request, expected.ToJson().serialize());
        }
    }
}

TEST(VeltaAssociate, AnApprovalWhileWaitingIsReportedOnceByTheNextPoll) {
    VeltaRig rig;
    rig.Start();
    EXPECT_EQ(rig.camera.Associate().code, RC::InProgress);
    const auto grant = Grant("one");
    const auto sent = rig.base.SendApproval(grant);
    EXPECT_EQ(sent.status, 200u);
    EXPECT_EQ(sent.reply, "OK");

    const auto approved = rig.camera.Associate();
    ASSERT_EQ(approved.code, RC::Ok);
    EXPECT_EQ(approved.value.ssid, grant.ssid);
    EXPECT_EQ(approved.value.psk, grant.psk);
    EXPECT_EQ(approved.value.ipAddr, grant.ipAddr);
    EXPECT_EQ(approved.value.macId, grant.macId);
    EXPECT_EQ(approved.value.mqttAddress, "");  // no MQTT without the marker file
    EXPECT_EQ(approved.value.mqttPortNumber, 0u);

    const auto after = rig.camera.Associate();
    EXPECT_EQ(after.code, RC::InProgress);
    EXPECT_EQ(after.value.ssid, "");
    EXPECT_EQ(rig.base.Count(Direction::CameraToBase, "device_announement_usb"), 1u);
}

TEST(VeltaAssociate, AnApprovalAfterTheWaitRanOutComesWithTheNextAnnouncement) {
    VeltaRig rig;
    rig.Start();
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_EQ(rig.camera.Associate().code, RC::InProgress);
    }
    rig.base.SendApproval(Grant("late"));
    EXPECT_EQ(rig.camera.Associate().code, RC::InProgress);
    EXPECT_EQ(rig.base.Count(Direction::CameraToBase, "device_announement_usb"), 2u);
    const auto approved = rig.camera.Associate();
    EXPECT_EQ(approved.code, RC::Ok);
    EXPECT_EQ(approved.value.ssid, "ssid-late");
}

TEST(VeltaAssociate, FailedAnnouncementsAreRepeatedAndRejectionsIgnored) {
    ScopedLogCapture log;
    VeltaRig rig;
    rig.Start();
    ReplyScript hangUp;
    hangUp.hangUp = true;
    rig.base.SetReply("device_announement_usb", hangUp);
    for (int poll = 0; poll < 5; ++poll) {
        EXPECT_EQ(rig.camera.Associate().code, RC::Failed);
    }
    EXPECT_EQ(rig.base.Count(Direction::CameraToBase, "device_announement_usb"), 5u);
    EXPECT_EQ(LinesWith(log.Sink(), "Failed to send Device Announce USB message to base"), 3u);
    EXPECT_EQ(rig.ElapsedMs(), 0);

    // A base that keeps silent costs each announcement the request limit.
    ReplyScript silent;
    silent.never = true;
    rig.base.SetReply("device_announement_usb", silent);
    EXPECT_EQ(rig.camera.Associate().code, RC::Failed);
    EXPECT_EQ(rig.ElapsedMs(), 3000);

    // The answer to an announcement is not read: a 403 still means waiting.
    rig.base.SetReply("device_announement_usb", ReplyScript{});
    rig.base.SetApproval(ApprovalMode::Reject);
    EXPECT_EQ(rig.camera.Associate().code, RC::InProgress);
    EXPECT_EQ(rig.camera.Associate().code, RC::InProgress);
    EXPECT_EQ(rig.base.Log().back().status, 403u);
}

TEST(VeltaAssociate, MqttSettingsAreTakenOnlyWhereTheMarkerFileSaysSo) {
    TempDir dir;
    DockSim::VeltaBaseSetup setup = NeverApproving();
    setup.mqttMarker = dir.file("enable_mqtt").string();
    VeltaRig rig(setup);
    rig.Start();
    ASSERT_EQ(rig.camera.Associate().code, RC::InProgress);  // announced

    rig.base.SendApproval(Grant("plain", true));
    auto approved = rig.camera.Associate();
    ASSERT_EQ(approved.code, RC::Ok);
    EXPECT_EQ(approved.value.ssid, "ssid-plain");
    EXPECT_EQ(approved.value.mqttAddress, "");

    WriteFile(dir.file("enable_mqtt"), "");
    const auto grant = Grant("mqtt", true);
    rig.base.SendApproval(grant);
    approved = rig.camera.Associate();
    ASSERT_EQ(approved.code, RC::Ok);
    EXPECT_EQ(approved.value.mqttAddress, grant.mqttAddress);
    EXPECT_EQ(approved.value.mqttPassword, grant.mqttPassword);
    EXPECT_EQ(approved.value.mqttCertificate, grant.mqttCertificate);
    EXPECT_EQ(approved.value.mqttPortNumber, grant.mqttPortNumber);

    // With the marker, an approval without the MQTT port is refused whole.
    const auto refused = rig.base.SendApproval(Grant("noport", false));
    EXPECT_EQ(refused.status, 500u);
    EXPECT_NE(rig.camera.Associate().code, RC::Ok);

    // Without it again, a plain approval keeps the MQTT settings granted before.
    std::filesystem::remove(dir.file("enable_mqtt"));
    rig.base.SendApproval(Grant("again", false));
    for (int poll = 0; poll < 8 && approved.value.ssid != "ssid-again"; ++poll) {
        approved = rig.camera.Associate();
    }
    EXPECT_EQ(approved.value.ssid, "ssid-again");
    EXPECT_EQ(approved.value.mqttAddress, grant.mqttAddress);
}

TEST(VeltaServerInfo, TakesRoomAndStationOrFallsBackToTheLocationOnlyDefaults) {
    VeltaRig rig;
    const auto info = rig.camera.GetServerInfo();
    EXPECT_EQ(info.code, RC::Ok);
    EXPECT_EQ(info.value.roomDescription, "Dispatch Room 2");
    EXPECT_EQ(info.value.stationId, "Velta Station 7");
    EXPECT_EQ(info.value.ELLocationType, "Q7 Velta");
    EXPECT_EQ(info.value.serverUrlType, DockProtoIF::ServerUrlType::LocationOnly);
    EXPECT_EQ(info.value.tenantId, "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(rig.base.Log().back().request, rest::GetServerInfoElement{}.ToJson().serialize());

    ReplyScript missing, mistyped, failing, hangUp, silent;
    missing.body = BodyFault::MissingMembers;
    mistyped.body = BodyFault::WrongTypes;
    failing.status = 500;
    hangUp.hangUp = true;
    silent.never = true;
    for (const auto& script : {missing, mistyped, failing, hangUp, silent}) {
        ScopedLogCapture log;
        rig.base.SetReply("get_server_info", script);
        const auto before = rig.ElapsedMs();
        const auto fallback = rig.camera.GetServerInfo();
        // Only silence costs time: the request limit, once.
        EXPECT_EQ(rig.ElapsedMs() - before, script.never ? 3000 : 0);
        EXPECT_EQ(fallback.code, RC::Ok);
        EXPECT_EQ(fallback.value.roomDescription, "Unknown");
        EXPECT_EQ(fallback.value.stationId, "Velta");
        EXPECT_EQ(fallback.value.ELLocationType, "Q7 Velta");
        EXPECT_TRUE(log.Sink().Contains("Failed to send Device Announce USB message to base using sane default"));
    }
}

TEST(Velta, OperationsWithoutTrafficAndTheProductionEndpoints) {
    VeltaRig rig;
    EXPECT_EQ(rig.camera.GetName(), "Velta");
    EXPECT_EQ(rig.camera.Cancel(), RC::NotSupported);
    EXPECT_EQ(rig.camera.BlockProtocol(), RC::NotSupported);
    EXPECT_EQ(rig.camera.SwitchChannel(), RC::NotSupported);
    EXPECT_EQ(rig.camera.ProvisionNetwork().code, RC::NotSupported);
    EXPECT_EQ(rig.camera.GetShutdown().code, RC::NotSupported);
    EXPECT_EQ(rig.camera.CheckNetwork().code, RC::NotSupported);
    EXPECT_EQ(rig.camera.GetChargeFault().code, RC::Ok);
    EXPECT_EQ(rig.camera.GetChargeFault().value, 0u);
    EXPECT_EQ(rig.camera.SetShutdownCallback(nullptr), RC::Ok);
    EXPECT_TRUE(rig.base.Log().empty());

    const auto& production = ProtocolEnvironment::Production().velta;
    EXPECT_EQ(production.baseAddress, "192.168.99.1");
    EXPECT_EQ(production.basePort, 55006);
    EXPECT_EQ(production.listenAddress, "192.168.99.2");
    EXPECT_EQ(production.listenPort, 55006);
    EXPECT_EQ(production.path, "UsbRest/1.0");
    EXPECT_EQ(production.helloTimeout, std::chrono::milliseconds(3000));
    EXPECT_EQ(production.requestTimeout, std::chrono::milliseconds(0));
}

}  // namespace
}  // namespace tvo::velta_test
