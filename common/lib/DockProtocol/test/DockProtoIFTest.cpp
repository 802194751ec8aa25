#include <DockProtocol/DockProtoIF.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <type_traits>

#include <sstream>

namespace tvo {
namespace {

using testing::_;
using testing::Return;
using RC = DockProtoIF::ReturnCode;

DockProtoIF::ServerInfo SampleInfo() {
    DockProtoIF::ServerInfo info;
    info.dnsIp = "10.0.0.53";
    info.serverUrlType = DockProtoIF::ServerUrlType::Hostname;
    info.primaryServerUrl = "primary.example";
    info.secondaryServerUrl = "secondary.example";
    info.port = "443";
    info.roomDescription = "Room 4";
    info.stationId = "Station 9";
    info.tenantId = "00112233-4455-6677-8899-aabbccddeeff";
    info.slotId = 5;
    info.availableForCheckout = true;
    info.ELLocationType = "Q7 Dravo";
    info.useIPv6 = false;
    info.proxy = "http://proxy:3128";
    return info;
}

TEST(ServerInfoStream, WritesEveryFieldInOrderWithRawSlotByte) {
    std::ostringstream out;
    out << SampleInfo();
    EXPECT_EQ(out.str(), std::string("DockProtoIF::ServerInfo --  dnsIp: 10.0.0.53, serverUrlType: Hostname, "
                                     "primaryServerUrl: primary.example, secondaryServerUrl: secondary.example, "
                                     "port: 443,  roomDescription: Room 4, stationId: Station 9, slotId: ") +
                             '\x05' +
                             ", tenantId: 00112233-4455-6677-8899-aabbccddeeff, availableForCheckout: 1, "
                             "ELLocationType: Q7 Dravo, useIPv6: false, proxy: http://proxy:3128");
}

TEST(ServerInfoStream, LeavesStreamInAlphabeticBoolMode) {
    std::ostringstream out;
    out << SampleInfo();
    const auto first = out.str();
    out.str("");
    out << SampleInfo();
    EXPECT_NE(first.find("availableForCheckout: 1,"), std::string::npos);
    EXPECT_NE(out.str().find("availableForCheckout: true,"), std::string::npos);
    EXPECT_TRUE(out.flags() & std::ios::boolalpha);
}

TEST(ServerUrlTypeStream, NamesKnownValuesAndInvalidOtherwise) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "Unknown"}, {1, "IpAddress"}, {2, "Hostname"}, {3, "LocationOnly"}, {7, "Invalid"}};
    for (const auto& [value, text] : cases) {
        std::ostringstream out;
        out << static_cast<DockProtoIF::ServerUrlType>(value);
        EXPECT_EQ(out.str(), text) << value;
    }
}

TEST(ServerInfo, NeutralValue) {
    const auto info = DockProtoIF::ServerInfo::Neutral();
    EXPECT_EQ(info.roomDescription, "Default");
    EXPECT_EQ(info.stationId, "Corvantech");
    EXPECT_EQ(info.tenantId, "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(info.ELLocationType, "unknown");
    EXPECT_EQ(info.serverUrlType, DockProtoIF::ServerUrlType::Unknown);
    EXPECT_EQ(info.slotId, 0);
    EXPECT_FALSE(info.availableForCheckout);
    EXPECT_FALSE(info.useIPv6);
    EXPECT_TRUE(info.dnsIp.empty() && info.primaryServerUrl.empty() && info.secondaryServerUrl.empty() &&
                info.port.empty() && info.proxy.empty());
}

class MockDock : public DockProtoIF {
public:
    MOCK_METHOD(ReturnCode, DoSayHello, (), (override));
    MOCK_METHOD(ReturnCode, DoBlockProtocol, (), (override));
    MOCK_METHOD(Result<NetworkConfig>, DoProvisionNetwork, (), (override));
    MOCK_METHOD(ReturnCode, DoSwitchChannel, (), (override));
    MOCK_METHOD(ReturnCode, DoSetWifiMac, (const std::string&), (override));
    MOCK_METHOD(ReturnCode, DoSetSerialNumber, (const std::string&), (override));
    MOCK_METHOD(Result<AssociationInfo>, DoAssociate, (), (override));
    MOCK_METHOD(Result<ServerInfo>, DoGetServerInfo, (), (override));
    MOCK_METHOD(Result<std::uint32_t>, DoGetShutdown, (), (override));
    MOCK_METHOD(ReturnCode, DoSetUploadStatus, (UploadStatus), (override));
    MOCK_METHOD(AsyncResult, DoSetUploadStatusAsync, (UploadStatus), (override));
    MOCK_METHOD(ReturnCode, DoSetChargeStatus, (ChargeStatus), (override));
    MOCK_METHOD(AsyncResult, DoSetChargeStatusAsync, (ChargeStatus), (override));
    MOCK_METHOD(Result<std::uint32_t>, DoGetChargeFault, (), (override));
    MOCK_METHOD(std::string_view, DoGetName, (), (override));
    MOCK_METHOD(ReturnCode, DoRequestBaseLog, (unsigned int), (override));
    MOCK_METHOD(ReturnCode, DoDownloadBaseLog, (unsigned int), (override));
    MOCK_METHOD(Result<std::uint32_t>, DoCheckNetwork, (), (override));
    MOCK_METHOD(ReturnCode, DoSetShutdownCallback, (std::function<void(Shutdown::ShutdownType)>), (override));
    MOCK_METHOD(ReturnCode, DoSetTerminateBackendCallback, (std::function<void()>), (override));
    MOCK_METHOD(ReturnCode, DoCancel, (), (override));
};

TEST(DockProtoIF, PublicOperationsForwardArgumentsAndResultsUnchanged) {
    MockDock dock;
    EXPECT_CALL(dock, DoSayHello()).WillOnce(Return(RC::InProgress));
    EXPECT_CALL(dock, DoSetWifiMac("aa:bb")).WillOnce(Return(RC::Ok));
    EXPECT_CALL(dock, DoSetUploadStatus(static_cast<DockProtoIF::UploadStatus>(9))).WillOnce(Return(RC::Failed));
    EXPECT_CALL(dock, DoGetChargeFault()).WillOnce(Return(DockProtoIF::Result<std::uint32_t>{0x42, RC::Ok}));
    EXPECT_CALL(dock, DoDownloadBaseLog(77u)).WillOnce(Return(RC::NotSupported));

    EXPECT_EQ(dock.SayHello(), RC::InProgress);
    EXPECT_EQ(dock.SetWifiMac("aa:bb"), RC::Ok);
    EXPECT_EQ(dock.SetUploadStatus(static_cast<DockProtoIF::UploadStatus>(9)), RC::Failed);
    const auto fault = dock.GetChargeFault();
    EXPECT_EQ(fault.value, 0x42u);
    EXPECT_EQ(fault.code, RC::Ok);
    EXPECT_EQ(dock.DownloadBaseLog(77), RC::NotSupported);
    EXPECT_EQ(dock.TrimBaseLogFile(77), 0u);
}

TEST(DockProtoIF, EmptyCallbackIsPassedOnAsIs) {
    MockDock dock;
    EXPECT_CALL(dock, DoSetShutdownCallback(_)).WillOnce([](std::function<void(Shutdown::ShutdownType)> callback) {
        EXPECT_FALSE(callback);
        return RC::Ok;
    });
    EXPECT_EQ(dock.SetShutdownCallback(nullptr), RC::Ok);
}

// Only the host's own call-back classes can exist; a derived one needs nothing.
struct HostCallback : DockCallbackIF {};
static_assert(std::is_abstract_v<DockCallbackIF>);
static_assert(!std::is_abstract_v<HostCallback>);

}  // namespace
}  // namespace tvo
