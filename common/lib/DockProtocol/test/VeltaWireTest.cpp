// What only a real connection can do to the camera's inbound server: a base
// that promises more body than it sends and hangs up, and a body too large
// for the server, must change nothing and leave the server serving.

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

}  // namespace
}  // namespace tvo::velta_test
