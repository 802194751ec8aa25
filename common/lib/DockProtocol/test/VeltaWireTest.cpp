// What only a real connection can do: to the camera's inbound server, a base
// that promises more body than it sends and hangs up, and a body too large
// for the server, must change nothing and leave the server serving; to the
// camera's requests, a reply whose body trickles or breaks off after a 200
// is decided on its status, and a body without a Content-Type reads as no
// text.

#include "VeltaTestSupport.h"

namespace tvo::velta_test {
namespace {

using DockSim::BodyFault;

DockSim::ChargeReport Fault(int fault) {
    DockSim::ChargeReport report;
    report.fault = fault;
    return report;
}

TEST(VeltaWire, BrokenAndOversizedRequestsChangeNothingAndTheServerKeepsServing) {
    VeltaRig rig(OnLoopback());
    rig.Start();
    ASSERT_EQ(rig.camera.Associate().code, RC::InProgress);
    ASSERT_EQ(rig.base.SendChargeStatus(Fault(1)).reply, "OK");
    ASSERT_EQ(rig.camera.GetChargeFault().value, 7u);

    rest::ChargeStatusElement report;
    report.charge_state = "Charging";
    report.charge_fault = 3;
    for (int round = 0; round < 3; ++round) {
        const Exchange broken = rig.base.SendAndHangUp("?type=charge_status", report.ToJson().serialize());
        EXPECT_NE(broken.status, 200u) << Describe(broken);
    }
    const Exchange brokenApproval = rig.base.SendAndHangUp("?type=device_announement_usb_approved", "{\"ssid\":\"x\"");
    EXPECT_NE(brokenApproval.status, 200u) << Describe(brokenApproval);
    EXPECT_EQ(rig.base.SendApproval(Grant("huge"), BodyFault::Huge).status, 413u);
    EXPECT_EQ(rig.camera.GetChargeFault().value, 7u);
    EXPECT_NE(rig.camera.Associate().code, RC::Ok);

    EXPECT_EQ(rig.base.SendChargeStatus(Fault(3)).reply, "OK");
    EXPECT_EQ(rig.camera.GetChargeFault().value, 2u);
    const auto grant = Grant("whole");
    EXPECT_EQ(rig.base.SendApproval(grant).reply, "OK");
    const auto approved = rig.camera.Associate();
    EXPECT_EQ(approved.code, RC::Ok);
    EXPECT_EQ(approved.value.ssid, grant.ssid);
}

DockSim::ReplyScript Script(const std::string& text) {
    const auto script = DockSim::ParseReplyScript(text);
    EXPECT_TRUE(script) << text;
    return script.value_or(DockSim::ReplyScript{});
}

TEST(VeltaWire, ReportsAreDecidedOnTheStatusWhateverTheBodyDoes) {
    VeltaRig rig(OnLoopback());
    ScopedLogCapture log;
    // The body comes long after the head: the handle is done on the head.
    rig.base.SetReply("charge_status", Script("trickle:60000"));
    auto started = rig.camera.SetChargeStatusAsync(static_cast<DockProtoIF::ChargeStatus>(2));
    ASSERT_EQ(started.code, RC::InProgress);
    EXPECT_TRUE(PollUntilDone(*started.handle));
    EXPECT_EQ(LinesWith(log.Sink(), "Waiting for content_ready to be done"), 1u);
    started.handle.reset();  // cancels the body, and the base stops waiting

    // The body breaks off after a 200: done without an error, and Ok.
    rig.base.SetReply("charge_status", Script("cut-body"));
    rig.base.SetReply("upload_status", Script("cut-body"));
    auto cut = rig.camera.SetChargeStatusAsync(static_cast<DockProtoIF::ChargeStatus>(1));
    EXPECT_TRUE(PollUntilDone(*cut.handle));
    EXPECT_TRUE(cut.handle->IsDone());
    EXPECT_EQ(rig.camera.SetChargeStatus(static_cast<DockProtoIF::ChargeStatus>(1)), RC::Ok);
    EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<DockProtoIF::UploadStatus>(1)), RC::Ok);
    EXPECT_EQ(LinesWith(log.Sink(), "Error getting response"), 0u);
}

TEST(VeltaWire, AnUntypedLogReadyIsNoTextAndTheBaseIsAskedAgain) {
    VeltaRig rig(OnLoopback());
    ScopedLogCapture log;
    rig.base.SetReply("request_base_log", Script("untyped"));
    EXPECT_EQ(rig.camera.RequestBaseLog(42), RC::InProgress);
    EXPECT_EQ(LinesWith(log.Sink(), "No match: Received response: []"), 1u);
    rig.base.SetReply("request_base_log", DockSim::ReplyScript{});
    EXPECT_EQ(rig.camera.RequestBaseLog(42), RC::Ok);
}

}  // namespace
}  // namespace tvo::velta_test
