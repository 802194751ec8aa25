// The emulated Oskin base against the camera's server on an in-memory
// network: the whole road, every bad input, the replies the server makes
// itself, and a host that tears docking down from its call-back.

#include "OskinTestSupport.h"

#include <DockProtocol/DockProtoOskin.h>
#include <DockSim/OskinBase.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

namespace tvo {
namespace {

using namespace oskintest;
using RC = DockProtoIF::ReturnCode;
using UrlType = DockProtoIF::ServerUrlType;

class OskinRoad : public ::testing::Test {
protected:
    DockSim::OskinBase base{InMemory()};
    DockSim::OskinCameraAnswers host{
        {"http://127.0.0.1/camera/config.json", {{"video", {{"resolution", "1080p"}}}, {"gps", {}}}, true, kTenant}};
    DockProtoOskin dock{base.Environment(), &host};

    void SetUp() override { ASSERT_EQ(dock.SayHello(), RC::Ok); }
};

TEST_F(OskinRoad, TheBasesWholeConversation) {
    const auto hello = base.SayHello();
    ASSERT_EQ(hello.status, 200u) << DockSim::Describe(hello);
    EXPECT_EQ(Json(hello.reply).at("api_version").as_string(), "1.1");

    EXPECT_EQ(base.ConnectionReady({"", "", "BASE-1", 0}).status, 200u);
    EXPECT_EQ(host.ConnectionReadyCalls(), 1);
    EXPECT_EQ(Json(base.GetCameraConfig().reply).at("uri").as_string(), "http://127.0.0.1/camera/config.json");
    EXPECT_EQ(Json(base.GetCameraCapabilities().reply).at("capabilities").size(), 2u);
    EXPECT_TRUE(Json(base.GetUsbDeviceStatus().reply).at("provisioned").as_bool());

    // A foreign tenant is refused and leaves the camera location-only.
    EXPECT_EQ(base.SetServerInfo(DockSim::SampleServerInfo(kOtherTenant)).status, 403u);
    EXPECT_EQ(dock.GetServerInfo().value.serverUrlType, UrlType::LocationOnly);

    const auto accepted = base.SetServerInfo(DockSim::SampleServerInfo(std::string(kTenant) + "\n"));
    ASSERT_EQ(accepted.status, 200u);
    EXPECT_FALSE(Json(accepted.reply).at("new_tenant_id").as_bool());
    const auto info = dock.GetServerInfo().value;
    EXPECT_EQ(info.serverUrlType, UrlType::Hostname);
    EXPECT_EQ(info.primaryServerUrl, "evidence.oskin.example");
    EXPECT_EQ(info.secondaryServerUrl, "evidence-2.oskin.example");
    EXPECT_EQ(info.tenantId, kTenant);

    // Without an API version in the query the messages are answered alike.
    DockSim::OskinBaseSetup plain = base.Setup();
    plain.apiVersion = "";
    DockSim::OskinBase unversioned(plain);  // on the same network, to the same server
    EXPECT_EQ(unversioned.SayHello().status, 200u);
    EXPECT_EQ(unversioned.SetServerInfo(DockSim::SampleServerInfo(kTenant)).status, 200u);
}

TEST_F(OskinRoad, BadInputsAreAnsweredWithoutHarm) {
    ASSERT_EQ(base.SetServerInfo(DockSim::SampleServerInfo(kTenant)).status, 200u);
    for (const auto& bad : base.BadInputs()) {
        const auto exchange = base.SendBadInput(bad);
        EXPECT_EQ(exchange.status, bad.expectedStatus) << DockSim::Describe(exchange);
        // A push the camera cannot read forgets the earlier one; nothing else touches it.
        const bool pushShaped = bad.method == "PUT" && bad.target.rfind("set_server_info", 0) == 0;
        EXPECT_EQ(dock.GetServerInfo().value.serverUrlType == UrlType::Hostname, !pushShaped) << bad.name;
        if (pushShaped) {
            ASSERT_EQ(base.SetServerInfo(DockSim::SampleServerInfo(kTenant)).status, 200u);
        }
    }
    EXPECT_EQ(base.SayHello().status, 200u);  // still serving
}

TEST_F(OskinRoad, RepliesTheServerMakesItselfCarryTheErrorRecordToo) {
    const std::pair<DockSim::OskinExchange, unsigned> cases[] = {
        {base.Send("POST", "say_hello", "{}"), 405u},
        {base.Send("DELETE", "say_hello", ""), 405u},
        {base.Send("PUT", "say_hello", std::string(2 * 1024 * 1024, ' ')), 413u},
    };
    for (const auto& [exchange, status] : cases) {
        ASSERT_EQ(exchange.status, status) << DockSim::Describe(exchange);
        const auto record = Json(exchange.reply);
        EXPECT_EQ(record.at("msg_type").as_string(), "error");
        EXPECT_EQ(record.at("status_code").as_integer(), static_cast<int>(status));
        EXPECT_FALSE(record.at("message").as_string().empty());
    }
    EXPECT_EQ(base.SayHello().status, 200u);
}

TEST(OskinTearDown, TheHostMayDestroyTheDockFromItsCallBack) {
    DockSim::OskinBase base(InMemory());
    TearingDownHost host;
    auto dock = std::make_unique<DockProtoOskin>(base.Environment(), &host);
    host.dock = &dock;
    ASSERT_EQ(dock->SayHello(), RC::Ok);
    base.ConnectionReady({"", "", "BASE-1", 0});
    ASSERT_EQ(host.destroyed.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(dock, nullptr);
    // The dock went with its server.
    EXPECT_EQ(base.SayHello().status, 0u);
    // The port is free for the next dock.
    DockProtoOskin next(base.Environment(), &host);
    EXPECT_EQ(next.SayHello(), RC::Ok);
    EXPECT_EQ(base.SayHello().status, 200u);
}

}  // namespace
}  // namespace tvo
