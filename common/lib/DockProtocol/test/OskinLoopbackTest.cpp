// The camera's Oskin server on real loopback sockets: one road through every
// message and bad input, the server closing from its own handler's thread,
// and pushes on the server's threads racing the host's reads.

#include "OskinTestSupport.h"

#include <DockProtocol/DockProtoOskin.h>
#include <DockSim/OskinBase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace tvo {
namespace {

using namespace oskintest;
using RC = DockProtoIF::ReturnCode;
using UrlType = DockProtoIF::ServerUrlType;

class OskinLoopback : public ::testing::Test {
protected:
    DockSim::OskinBase base;  // no network: real sockets
    DockSim::OskinCameraAnswers host{{"http://127.0.0.1/camera/config.json", {}, true, kTenant}};
    DockProtoOskin dock{base.Environment(), &host};

    void SetUp() override { ASSERT_EQ(dock.SayHello(), RC::Ok); }
};

TEST_F(OskinLoopback, EveryMessageAndBadInputOnTheWire) {
    for (const auto& exchange : {base.SayHello(), base.ConnectionReady({"", "", "BASE-1", 0}), base.GetCameraConfig(),
                                 base.GetCameraCapabilities(), base.GetUsbDeviceStatus(),
                                 base.SetServerInfo(DockSim::SampleServerInfo(kTenant))}) {
        EXPECT_EQ(exchange.status, 200u) << DockSim::Describe(exchange);
    }
    EXPECT_EQ(host.ConnectionReadyCalls(), 1);
    EXPECT_EQ(dock.GetServerInfo().value.serverUrlType, UrlType::Hostname);

    for (const auto& bad : base.BadInputs()) {
        const auto exchange = base.SendBadInput(bad);
        EXPECT_EQ(exchange.status, bad.expectedStatus) << DockSim::Describe(exchange);
    }
    // The real server's own refusals carry the error record as well.
    const auto tooLarge = base.Send("PUT", "say_hello", std::string(2 * 1024 * 1024, ' '));
    ASSERT_EQ(tooLarge.status, 413u) << DockSim::Describe(tooLarge);
    EXPECT_EQ(Json(tooLarge.reply).at("status_code").as_integer(), 413);
    EXPECT_EQ(base.SayHello().status, 200u);  // still serving
}

TEST(OskinLoopbackTearDown, TheRealServerMayBeDestroyedFromItsHandlersThread) {
    DockSim::OskinBase base;
    TearingDownHost host;
    auto dock = std::make_unique<DockProtoOskin>(base.Environment(), &host);
    host.dock = &dock;
    ASSERT_EQ(dock->SayHello(), RC::Ok);
    base.ConnectionReady({"", "", "BASE-1", 0});  // its reply is dropped with the server
    ASSERT_EQ(host.destroyed.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(dock, nullptr);
    // The port is free for the next dock.
    DockProtoOskin next(base.Environment(), &host);
    EXPECT_EQ(next.SayHello(), RC::Ok);
}

TEST_F(OskinLoopback, HostReadsNeverSeeAHalfWrittenPush) {
    // Two accepted pushes that differ in every converted field.
    auto first = DockSim::SampleServerInfo(kTenant);
    auto second = first;
    second.server_url_type = "IPADDRESS";
    second.server_primary_url = "10.9.9.9";
    second.server_secondary_url = "10.9.9.10";
    second.server_port = 8443;
    second.dns_ip = "10.9.9.53";

    // One connection of the base pushes while the host reads; the handler
    // runs on the server's threads, the reads on this one.
    std::atomic<bool> done{false};
    std::thread pusher([&] {
        for (int n = 0; n < 50; ++n) {
            base.SetServerInfo(n % 2 ? first : second);
        }
        done = true;
    });
    int reads = 0;
    while (!done) {
        const auto info = dock.GetServerInfo().value;
        ++reads;
        if (info.serverUrlType == UrlType::Hostname) {
            EXPECT_EQ(info.primaryServerUrl, first.server_primary_url);
            EXPECT_EQ(info.port, "443");
            EXPECT_EQ(info.dnsIp, first.dns_ip);
        } else if (info.serverUrlType == UrlType::IpAddress) {
            EXPECT_EQ(info.primaryServerUrl, second.server_primary_url);
            EXPECT_EQ(info.port, "8443");
            EXPECT_EQ(info.dnsIp, second.dns_ip);
        } else {
            // Between the reset and the store of a push.
            EXPECT_EQ(info.serverUrlType, UrlType::LocationOnly);
        }
    }
    pusher.join();
    EXPECT_GT(reads, 0);
}

}  // namespace
}  // namespace tvo
