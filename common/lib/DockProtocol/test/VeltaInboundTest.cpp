// The base's requests reaching the camera's inbound server: dispatch by
// query and method, the fixed replies, hostile bodies that must change
// nothing, the charge fault codes, and the host's call-backs.

#include "VeltaTestSupport.h"

#include <Logger/LogClient.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <future>
#include <thread>

namespace tvo::velta_test {
namespace {

using DockSim::BodyFault;
using DockSim::ChargeReport;

const std::string kMissingType = R"(Query did not contain a "type=" statement)";

std::string ChargeBody(int fault, int ntc = 0) {
    rest::ChargeStatusElement report;
    report.charge_state = "Charging";
    report.charge_fault = fault;
    report.charge_ntcfault = ntc;
    return report.ToJson().serialize();
}

class VeltaInbound : public testing::Test {
protected:
    void SetUp() override { rig.Start(); }

    ChargeReport Fault(int fault, int ntc = 0) {
        ChargeReport report;
        report.fault = fault;
        report.ntcFault = ntc;
        return report;
    }

    // Takes the pending approval, if any, by polling as the host does.
    DockProtoIF::Result<DockProtoIF::AssociationInfo> PollApproval() {
        auto result = rig.camera.Associate();
        for (int poll = 0; poll < 8 && result.code != RC::Ok; ++poll) {
            result = rig.camera.Associate();
        }
        return result;
    }

    VeltaRig rig;
};

TEST_F(VeltaInbound, DispatchesByTheWholeRestOfTheQueryAndTheMethodsTable) {
    struct Case {
        const char* method;
        std::string query;
        std::string reply;
    };
    const std::string body = ChargeBody(0);
    for (const Case& c : {
             Case{"PUT", "?type=charge_status", "OK"},
             Case{"PUT", "?id=7&type=charge_status", "OK"},
             Case{"PUT", "?subtype=charge_status", "OK"},
             Case{"PUT", "?type=charge_status&x=1", "Unsupported message type: charge_status&x=1"},
             Case{"PUT", "?type=get_upgrade_pkg", "Unsupported message type: get_upgrade_pkg"},
             Case{"GET", "?type=charge_status", "Unsupported message type: charge_status"},
             Case{"PUT", "?type=no_such_message", "Unsupported message type: no_such_message"},
             Case{"PUT", "?type=", "Unsupported message type: "},
             Case{"PUT", "?Type=charge_status", kMissingType},
             Case{"PUT", "", kMissingType},
             Case{"GET", "?type=get_camera_config_response", "Unsupported message type: get_camera_config_response"},
         }) {
        const Exchange answer = rig.base.Send(c.method, c.query, body);
        EXPECT_EQ(answer.status, 200u) << c.method << ' ' << c.query;
        EXPECT_EQ(answer.reply, c.reply) << c.method << ' ' << c.query;
    }
    // Methods without a table never reach the dispatch.
    EXPECT_EQ(rig.base.Send("POST", "?type=charge_status", body).status, 405u);
}

TEST_F(VeltaInbound, HostileRequestsChangeNothingAndTheServerKeepsServing) {
    ASSERT_EQ(rig.camera.Associate().code, RC::InProgress);
    ASSERT_EQ(rig.base.SendChargeStatus(Fault(1)).reply, "OK");
    ASSERT_EQ(rig.camera.GetChargeFault().value, 7u);

    ScopedLogCapture log(LogLevel::Warning);
    const auto grant = Grant("hostile");
    for (const BodyFault fault : {BodyFault::MalformedJson, BodyFault::WrongTypes, BodyFault::MissingMembers}) {
        EXPECT_EQ(rig.base.SendApproval(grant, fault).status, 500u);
        EXPECT_EQ(rig.base.SendChargeStatus(Fault(3), fault).status, 500u);
        EXPECT_EQ(rig.base.SendIgnitionState(1, fault).status, 500u);
        EXPECT_EQ(rig.base.SendShutdownState(1, fault).status, 500u);
    }
    EXPECT_TRUE(log.Sink().Contains("key not found for"));
    for (const char* body : {"", "[1,2]", "\"text\"", "null", "{\"ssid\":"}) {
        EXPECT_EQ(rig.base.Send("PUT", "?type=device_announement_usb_approved", body).status, 500u) << body;
    }
    // Far too deep for the parser, which refuses it instead of recursing.
    EXPECT_EQ(rig.base.Send("PUT", "?type=charge_status", std::string(100000, '[')).status, 500u);
    EXPECT_EQ(rig.base.SendApproval(grant, BodyFault::Huge).status, 413u);
    EXPECT_EQ(rig.base.SendChargeStatus(Fault(3), BodyFault::Huge).status, 413u);

    EXPECT_EQ(rig.camera.GetChargeFault().value, 7u);
    EXPECT_NE(rig.camera.Associate().code, RC::Ok);

    // The same requests, well formed, still work afterwards.
    EXPECT_EQ(rig.base.SendChargeStatus(Fault(3)).reply, "OK");
    EXPECT_EQ(rig.camera.GetChargeFault().value, 2u);
    EXPECT_EQ(rig.base.SendApproval(grant).reply, "OK");
    const auto approved = PollApproval();
    EXPECT_EQ(approved.code, RC::Ok);
    EXPECT_EQ(approved.value.ssid, grant.ssid);
}

TEST_F(VeltaInbound, ChargeFaultCodesComeFromTheChargeFaultAlone) {
    struct Case {
        int fault;
        int ntc;
        std::uint32_t code;
    };
    for (const Case& c : {Case{1, 0, 7}, Case{2, 0, 2}, Case{3, 0, 2}, Case{9, 0, 8}, Case{-1, 0, 8}, Case{0, 5, 0},
                          Case{0, 0, 0}, Case{1, 3, 7}}) {
        ASSERT_EQ(rig.base.SendChargeStatus(Fault(c.fault, c.ntc)).reply, "OK");
        EXPECT_EQ(rig.camera.GetChargeFault().value, c.code) << c.fault << '/' << c.ntc;
    }
    ScopedLogCapture log;
    rig.base.SendChargeStatus(Fault(9, 7));
    EXPECT_TRUE(log.Sink().Contains(
        "Velta has a charging fault, raw ntcfault value =6 or raw chargeFault value = 4 translates to 8"));
}

TEST_F(VeltaInbound, StateNoticesAreLoggedWithTheirKeptValues) {
    ScopedLogCapture log;
    EXPECT_EQ(rig.base.SendIgnitionState(-5).reply, "Received");
    EXPECT_EQ(rig.base.SendShutdownState(7).reply, "Received");
    EXPECT_EQ(rig.base.SendShutdownState(3).reply, "Received");
    EXPECT_TRUE(log.Sink().Contains("Recevied Set Ignition State mesasge: state = -5"));
    EXPECT_TRUE(log.Sink().Contains("Recevied Set Shutdown State message: state = 0"));
    EXPECT_TRUE(log.Sink().Contains("Recevied Set Shutdown State message: state = 3"));
}

TEST_F(VeltaInbound, OrdersReachTheCallBacksOnTheServersThreads) {
    {
        ScopedLogCapture log;
        EXPECT_EQ(rig.base.SendShutdownNow().reply, "Received");
        EXPECT_EQ(rig.base.SendTerminateBackend().reply, "Received");
        EXPECT_TRUE(log.Sink().Contains("System will not turn off; no callback defined"));
        EXPECT_TRUE(log.Sink().Contains("Ignore message; no callback defined"));
    }
    std::promise<std::pair<Shutdown::ShutdownType, std::thread::id>> shutdown;
    std::atomic<int> terminations{0};
    rig.camera.SetShutdownCallback([&](Shutdown::ShutdownType type) {
        shutdown.set_value({type, std::this_thread::get_id()});
    });
    rig.camera.SetTerminateBackendCallback([&] { ++terminations; });
    EXPECT_EQ(rig.base.SendShutdownNow().reply, "Received");
    const auto [type, thread] = shutdown.get_future().get();
    EXPECT_EQ(type, static_cast<Shutdown::ShutdownType>(0));
    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_EQ(rig.base.SendTerminateBackend().reply, "Received");
    EXPECT_EQ(terminations.load(), 1);

    // A call-back that throws costs that one reply, not the server.
    rig.camera.SetTerminateBackendCallback([] { throw std::runtime_error("host refused"); });
    EXPECT_EQ(rig.base.SendTerminateBackend().status, 500u);
    rig.camera.SetTerminateBackendCallback(nullptr);
    EXPECT_EQ(rig.base.SendTerminateBackend().reply, "Received");
}

TEST_F(VeltaInbound, ACallBackReplacedWhileRunningFinishesAndTheNextOrderGetsTheNewOne) {
    std::promise<void> entered, release;
    auto released = release.get_future().share();
    std::atomic<int> oldCalls{0}, newCalls{0};
    rig.camera.SetShutdownCallback([&, released](Shutdown::ShutdownType) {
        ++oldCalls;
        entered.set_value();
        released.wait();
    });
    auto order = std::async(std::launch::async, [&] { return rig.base.SendShutdownNow(); });
    entered.get_future().wait();
    // The host replaces it meanwhile; neither side waits for the other.
    EXPECT_EQ(rig.camera.SetShutdownCallback([&](Shutdown::ShutdownType) { ++newCalls; }), RC::Ok);
    release.set_value();
    EXPECT_EQ(order.get().reply, "Received");
    EXPECT_EQ(rig.base.SendShutdownNow().reply, "Received");
    EXPECT_EQ(oldCalls.load(), 1);
    EXPECT_EQ(newCalls.load(), 1);
}

TEST(VeltaTearDown, TheHostMayDestroyTheCameraFromItsShutdownCallBack) {
    DockSim::VeltaBase base(NeverApproving());
    auto camera = std::make_unique<DockProtoVelta>(base.Environment());
    ASSERT_EQ(camera->SayHello(), RC::Ok);
    std::promise<void> destroyed;
    camera->SetShutdownCallback([&](Shutdown::ShutdownType) {
        camera.reset();  // docking torn down from the dock's own order
        destroyed.set_value();
    });
    base.SendShutdownNow();  // its reply is dropped with the server
    ASSERT_EQ(destroyed.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(camera, nullptr);
    DockProtoVelta next(base.Environment());  // the port is free again
    EXPECT_EQ(next.SayHello(), RC::Ok);
}

}  // namespace
}  // namespace tvo::velta_test
