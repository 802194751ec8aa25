// Approvals, charge reports and shutdown orders arrive on the server's
// threads while the host polls and replaces call-backs on its own. Every
// association the host sees must be one the base granted, whole; every fault
// one the base reported. Run under ThreadSanitizer this also proves the
// hand-over free of data races, with the real server's threads.

#include "VeltaTestSupport.h"

#include <atomic>
#include <thread>

namespace tvo::velta_test {
namespace {

TEST(VeltaHandOver, TheHostNeverSeesAHalfWrittenAssociationOrFault) {
    VeltaRig rig(OnLoopback());
    rig.Start();
    const DockSim::ApprovalGrant grants[] = {Grant("alpha"), Grant("bravo-with-a-longer-tag")};
    constexpr int kRounds = 30;

    std::atomic<int> shutdowns{0};
    rig.camera.SetShutdownCallback([&shutdowns](Shutdown::ShutdownType) { ++shutdowns; });
    std::atomic<bool> baseDone{false};
    std::atomic<int> failedSends{0};
    std::thread base([&] {
        DockSim::ChargeReport report;
        for (int round = 0; round < kRounds; ++round) {
            report.fault = round % 2 == 0 ? 1 : 2;
            failedSends += rig.base.SendApproval(grants[round % 2]).reply == "OK" ? 0 : 1;
            failedSends += rig.base.SendChargeStatus(report).reply == "OK" ? 0 : 1;
            failedSends += rig.base.SendShutdownNow().reply == "Received" ? 0 : 1;
        }
        baseDone = true;
    });

    int approvals = 0;
    int polls = 0;
    while (!baseDone || polls < 20) {
        const auto result = rig.camera.Associate();
        if (result.code == RC::Ok) {
            ++approvals;
            const auto& granted = result.value;
            const bool alpha = granted.ssid == grants[0].ssid && granted.psk == grants[0].psk &&
                               granted.ipAddr == grants[0].ipAddr && granted.macId == grants[0].macId;
            const bool bravo = granted.ssid == grants[1].ssid && granted.psk == grants[1].psk &&
                               granted.ipAddr == grants[1].ipAddr && granted.macId == grants[1].macId;
            EXPECT_TRUE(alpha || bravo) << granted.ssid << ' ' << granted.psk << ' ' << granted.ipAddr;
        }
        const auto fault = rig.camera.GetChargeFault().value;
        EXPECT_TRUE(fault == 0 || fault == 7 || fault == 2) << fault;
        rig.camera.SetShutdownCallback([&shutdowns](Shutdown::ShutdownType) { ++shutdowns; });
        ++polls;
    }
    base.join();
    EXPECT_EQ(failedSends.load(), 0);
    EXPECT_GT(approvals, 0);
    EXPECT_EQ(shutdowns.load(), kRounds);
    EXPECT_EQ(rig.camera.GetChargeFault().value, 2u);  // the last report
}

}  // namespace
}  // namespace tvo::velta_test
