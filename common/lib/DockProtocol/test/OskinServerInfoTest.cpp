// The conversion of pushed server information, and the Oskin protocol
// object's hello and server information against a base on an in-memory
// network.

#include "DockProtoUsbImpl.h"
#include "OskinTestSupport.h"

#include <DockProtocol/DockProtoOskin.h>
#include <DockSim/OskinBase.h>
#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <sstream>

namespace tvo {
namespace {

using namespace oskintest;
using RC = DockProtoIF::ReturnCode;
using UrlType = DockProtoIF::ServerUrlType;

rest::SetServerInfoElement Pushed(const std::string& type, const std::string& primary, const std::string& secondary,
                                  std::uint32_t port = 443) {
    rest::SetServerInfoElement e;
    e.dns_ip = "10.0.0.53";
    e.server_url_type = type;
    e.server_primary_url = primary;
    e.server_secondary_url = secondary;
    e.server_port = port;
    e.tenant_id = kTenant;
    e.room_description = "Room 4";
    e.station_id = "Station 12";
    return e;
}

TEST(OskinToServerInfo, HostnamesPassUnchangedInAnyCase) {
    const auto [info, valid] = DockProtoUsbImpl::ToServerInfo(Pushed("hostName", "a.example", ""));
    EXPECT_TRUE(valid);
    EXPECT_EQ(info.serverUrlType, UrlType::Hostname);
    EXPECT_EQ(info.primaryServerUrl, "a.example");
    EXPECT_EQ(info.secondaryServerUrl, "");
    EXPECT_EQ(info.port, "443");
    EXPECT_EQ(info.dnsIp, "10.0.0.53");
    EXPECT_EQ(info.tenantId, kTenant);
    EXPECT_EQ(info.stationId, "Station 12");
    EXPECT_EQ(info.ELLocationType, "unknown");  // the rest stays neutral
}

TEST(OskinToServerInfo, AddressesAreCheckedOnlyForTheAddressType) {
    ScopedLogCapture capture;
    auto [info, valid] = DockProtoUsbImpl::ToServerInfo(Pushed("IPADDRESS", "0.0.0.0", "10.1.2.3"));
    EXPECT_TRUE(valid);
    EXPECT_EQ(info.serverUrlType, UrlType::IpAddress);
    EXPECT_EQ(info.primaryServerUrl, "");
    EXPECT_EQ(info.secondaryServerUrl, "10.1.2.3");
    EXPECT_TRUE(capture.Sink().Contains("Incorrect primaryServer: 0.0.0.0"));

    std::tie(info, valid) = DockProtoUsbImpl::ToServerInfo(Pushed("IpAddress", "host.example", "10.1.2.300"));
    EXPECT_FALSE(valid);
    EXPECT_EQ(info.primaryServerUrl, "");
    EXPECT_EQ(info.secondaryServerUrl, "");
    EXPECT_TRUE(capture.Sink().Contains("Server URL Info invalid"));
    // What could be converted still is.
    EXPECT_EQ(info.dnsIp, "10.0.0.53");
    EXPECT_EQ(info.port, "443");
    EXPECT_EQ(info.tenantId, kTenant);

    // Neither keyword (a near miss included): both URLs copied unchecked.
    for (const char* type : {"", "FQDN", "HOSTNAMES", "IP ADDRESS"}) {
        std::tie(info, valid) = DockProtoUsbImpl::ToServerInfo(Pushed(type, "0.0.0.0", "x"));
        EXPECT_TRUE(valid) << type;
        EXPECT_EQ(info.serverUrlType, UrlType::Unknown) << type;
        EXPECT_EQ(info.primaryServerUrl, "0.0.0.0") << type;
        EXPECT_EQ(info.secondaryServerUrl, "x") << type;
    }
}

TEST(OskinToServerInfo, BadDnsPortAndTenantAreReplacedAndLogged) {
    ScopedLogCapture capture;
    auto e = Pushed("HOSTNAME", "a.example", "b.example", 0);
    e.dns_ip = "10.0.0";
    e.tenant_id = "not a tenant";
    auto [info, valid] = DockProtoUsbImpl::ToServerInfo(e);
    EXPECT_FALSE(valid);
    EXPECT_EQ(info.dnsIp, "");
    EXPECT_EQ(info.port, "");
    EXPECT_EQ(info.tenantId, kNilTenant);
    EXPECT_TRUE(capture.Sink().Contains("Incorrect dnsIp: 10.0.0"));
    EXPECT_TRUE(capture.Sink().Contains("Server port info invalid"));
    EXPECT_TRUE(capture.Sink().Contains("Invalid tenant id format, resetting to Nil. Input: not a tenant"));

    for (const std::uint32_t port : {65536u, 4294967295u}) {
        EXPECT_EQ(DockProtoUsbImpl::ToServerInfo(Pushed("HOSTNAME", "a", "", port)).first.port, "") << port;
    }
    EXPECT_EQ(DockProtoUsbImpl::ToServerInfo(Pushed("HOSTNAME", "a", "", 65535)).first.port, "65535");
}

TEST(OskinToServerInfo, TenantLosesTheKnownJunkCharacters) {
    auto e = Pushed("HOSTNAME", "a", "");
    e.tenant_id = std::string(" \t") + kTenant + "\r\n\v\a\b\f\\?";
    EXPECT_EQ(DockProtoUsbImpl::ToServerInfo(e).first.tenantId, kTenant);
    EXPECT_EQ(DockProtoUsbImpl::CleanTenantId("6f1c 2a9e-?x"), "6f1c2a9e-x");
}

// ---- the protocol object ----

class OskinDock : public ::testing::Test {
protected:
    DockSim::OskinBase base{InMemory()};
    DockSim::OskinCameraAnswers host{{"http://127.0.0.1/c.json", {}, true, kTenant}};
};

std::string Printed(const DockProtoIF::ServerInfo& info) {
    std::ostringstream out;
    out << info;
    return out.str();
}

TEST_F(OskinDock, LocationOnlyUntilTheBasePushesUsableInformation) {
    DockProtoOskin dock(base.Environment(), &host);
    ScopedLogCapture capture;
    auto expected = DockProtoIF::ServerInfo::Neutral();
    expected.serverUrlType = UrlType::LocationOnly;
    expected.stationId = "Oskin";
    expected.roomDescription = "";
    expected.availableForCheckout = true;
    expected.ELLocationType = "Q7 Oskin";

    auto before = dock.GetServerInfo();  // before SayHello
    EXPECT_EQ(before.code, RC::Ok);
    EXPECT_EQ(Printed(before.value), Printed(expected));
    EXPECT_TRUE(capture.Sink().Contains("Using LocationOnly serverInfo: "));

    ASSERT_EQ(dock.SayHello(), RC::Ok);
    EXPECT_EQ(Printed(dock.GetServerInfo().value), Printed(expected));  // nothing pushed yet

    ASSERT_EQ(base.SetServerInfo(DockSim::SampleServerInfo(kTenant)).status, 200u);
    const auto pushed = dock.GetServerInfo();
    EXPECT_EQ(pushed.code, RC::Ok);
    EXPECT_EQ(pushed.value.serverUrlType, UrlType::Hostname);
    EXPECT_EQ(pushed.value.primaryServerUrl, "evidence.oskin.example");
    EXPECT_EQ(pushed.value.port, "443");
    EXPECT_EQ(pushed.value.stationId, "Oskin");  // the base's station and room are not passed on
    EXPECT_EQ(pushed.value.roomDescription, "");
    EXPECT_TRUE(capture.Sink().Contains("Using ExternalSource serverInfo: "));

    // Unusable information keeps its converted fields but is location-only.
    auto noUrls = DockSim::SampleServerInfo(kTenant);
    noUrls.server_url_type = "IPADDRESS";
    ASSERT_EQ(base.SetServerInfo(noUrls).status, 200u);
    const auto unusable = dock.GetServerInfo().value;
    EXPECT_EQ(unusable.serverUrlType, UrlType::LocationOnly);
    EXPECT_EQ(unusable.primaryServerUrl, "");
    EXPECT_EQ(unusable.dnsIp, "10.20.0.53");
    EXPECT_EQ(unusable.port, "443");
}

TEST_F(OskinDock, GadgetFailureFailsTheHelloAndIsRetried) {
    base.FailGadget(1, "no usb0");
    DockProtoOskin dock(base.Environment(), &host);
    ScopedLogCapture capture;
    EXPECT_EQ(dock.SayHello(), RC::Failed);
    EXPECT_TRUE(capture.Sink().Contains("Failed to start up USB Gadget interface: no usb0"));
    const auto unanswered = base.SayHello();  // nothing listens
    EXPECT_EQ(unanswered.status, 0u);
    EXPECT_NE(unanswered.error.find("refused"), std::string::npos) << unanswered.error;
    EXPECT_EQ(dock.SayHello(), RC::Ok);
    EXPECT_EQ(base.GadgetToggles(), 2);
    EXPECT_EQ(base.Prunes(), 2);
    EXPECT_EQ(base.SayHello().status, 200u);
}

TEST_F(OskinDock, HostOfThePlainKindLeavesTheHelloInProgress) {
    PlainHost plain;
    DockProtoOskin dock(base.Environment(), &plain);
    ScopedLogCapture capture;
    EXPECT_EQ(dock.SayHello(), RC::InProgress);
    const auto lines = capture.Sink().Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Failed to start Oskin REST server, error: Invalid OskinDockCallbackIF");
}

TEST_F(OskinDock, SecondHelloKeepsTheServingServerWhenTheNewOneCannotListen) {
    DockProtoOskin dock(base.Environment(), &host);
    ASSERT_EQ(dock.SayHello(), RC::Ok);
    ASSERT_EQ(base.SetServerInfo(DockSim::SampleServerInfo(kTenant)).status, 200u);

    ScopedLogCapture capture;
    EXPECT_EQ(dock.SayHello(), RC::InProgress);
    EXPECT_TRUE(capture.Sink().Contains("Failed to start Oskin REST server, error: "));
    EXPECT_EQ(base.GadgetToggles(), 1);  // the gadget is brought up once per object
    EXPECT_EQ(base.Prunes(), 2);
    EXPECT_EQ(base.SayHello().status, 200u);
    EXPECT_EQ(dock.GetServerInfo().value.serverUrlType, UrlType::Hostname);
}

TEST(OskinDockProduction, RegistryBuildsItWithoutStartingAnything) {
    DockProtoOskin dock("ignored", nullptr);
    EXPECT_EQ(dock.GetName(), "Oskin");
    EXPECT_EQ(dock.Cancel(), RC::NotSupported);
    EXPECT_EQ(dock.GetServerInfo().value.serverUrlType, UrlType::LocationOnly);
}

}  // namespace
}  // namespace tvo
