// A host's whole road on a Velta dock, against the emulated base on
// loopback, with the base approving on its own as a real one does.

#include "VeltaTestSupport.h"

#include <future>
#include <thread>

namespace tvo::velta_test {
namespace {

TEST(VeltaRoad, HelloAssociationServerInfoAndAShutdownOrder) {
    DockSim::VeltaBaseSetup setup = OnLoopback(DockSim::VeltaBaseSetup{});
    setup.approveAfter = 2;  // the camera has to announce again
    VeltaRig rig(setup);
    std::promise<Shutdown::ShutdownType> shutdown;
    ASSERT_EQ(rig.camera.SetShutdownCallback([&](Shutdown::ShutdownType type) { shutdown.set_value(type); }), RC::Ok);

    ASSERT_EQ(rig.camera.SayHello(), RC::Ok);
    EXPECT_EQ(rig.camera.SetWifiMac("aa:bb:cc:00:11:22"), RC::Ok);
    EXPECT_EQ(rig.camera.SetSerialNumber("X81234567"), RC::Ok);

    DockProtoIF::Result<DockProtoIF::AssociationInfo> association;
    for (int poll = 0; poll < 250 && association.code != RC::Ok; ++poll) {
        association = rig.camera.Associate();
        ASSERT_NE(association.code, RC::Failed);
        if (association.code != RC::Ok) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ASSERT_EQ(association.code, RC::Ok);
    EXPECT_EQ(association.value.ssid, setup.grant.ssid);
    EXPECT_EQ(association.value.psk, setup.grant.psk);
    EXPECT_EQ(association.value.ipAddr, setup.grant.ipAddr);
    EXPECT_EQ(association.value.macId, setup.grant.macId);
    EXPECT_GE(rig.base.Count(Direction::CameraToBase, "device_announement_usb"), 2u);

    const auto info = rig.camera.GetServerInfo();
    EXPECT_EQ(info.code, RC::Ok);
    EXPECT_EQ(info.value.roomDescription, setup.room);
    EXPECT_EQ(info.value.stationId, setup.station);

    EXPECT_EQ(rig.base.SendShutdownNow().reply, "Received");
    auto ordered = shutdown.get_future();
    ASSERT_EQ(ordered.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(ordered.get(), static_cast<Shutdown::ShutdownType>(0));

    // What the camera sent, in the base's log.
    const auto log = rig.base.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().target, "/UsbRest/1.0?type=say_hello");
    for (const auto& exchange : log) {
        if (exchange.type == "device_announement_usb") {
            EXPECT_NE(exchange.request.find(R"("mac_id":"aa:bb:cc:00:11:22")"), std::string::npos);
            EXPECT_NE(exchange.request.find(R"("serial_number":"X81234567")"), std::string::npos);
        }
        if (exchange.direction == Direction::BaseToCamera && exchange.type == "device_announement_usb_approved") {
            EXPECT_EQ(exchange.reply, "OK");
        }
    }
}

}  // namespace
}  // namespace tvo::velta_test
