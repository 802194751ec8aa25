// The Dravo protocol object against a mocked adapter: driver choice, the
// whole-image read, status writes with their repeat suppression, the charge
// fault, and the records made from the image and the interface.

#include "IoctlTestSupport.h"

#include <DockProtocol/DockProtoDravo.h>
#include <DockProtocol/InterfaceFactory.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockSim/TestEnvironment.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <linux/sockios.h>

#include <deque>
#include <set>

namespace tvo {
namespace {

using testing::_;
using testing::Return;
using testing::StrictMock;
using tvo::testing_support::Answer;
using tvo::testing_support::EepromRequest;
using tvo::testing_support::Keep;
using tvo::testing_support::Mii;
using tvo::testing_support::MockLinuxApi;
using tvo::testing_support::WithEthernet;
using RC = DockProtoIF::ReturnCode;
using Status = DockProtoIF::UploadStatus;
using Charge = DockProtoIF::ChargeStatus;

class DockProtoDravoTest : public testing::Test {
protected:
    DockProtoDravoTest() {
        environment.system.interfaceMac = [this](std::string_view name) {
            EXPECT_EQ(name, "eth0");
            return mac;
        };
        environment.system.interfaceUp = [this](std::string_view) { return up; };
        environment.system.interfaceIp = [this](std::string_view) { return ip; };
    }

    // The first seam is the object's own; the block reader's must stay unused.
    void Make(std::unique_ptr<DockProto::EthtoolEeprom> eeprom = nullptr) {
        auto seams = std::make_shared<std::deque<std::unique_ptr<LinuxApiIF>>>();
        auto own = std::make_unique<StrictMock<MockLinuxApi>>();
        api = own.get();
        seams->push_back(std::move(own));
        seams->push_back(std::make_unique<StrictMock<MockLinuxApi>>());
        environment.system.makeLinuxApi = [seams] {
            auto next = std::move(seams->front());
            seams->pop_front();
            return next;
        };
        dock = std::make_unique<DockProtoDravo>(environment, std::move(eeprom));
    }

    static auto Driver(const std::string& name) {
        return [name](int, unsigned long, char* arg) {
            auto* info = reinterpret_cast<ethtool_drvinfo*>(testing_support::InterfaceRequest(arg).ifr_data);
            EXPECT_EQ(info->cmd, static_cast<std::uint32_t>(ETHTOOL_GDRVINFO));
            std::memcpy(info->driver, name.data(), std::min(name.size(), sizeof info->driver));
            return 0;
        };
    }

    static auto Phy(std::uint16_t id) {
        return [id](int, unsigned long, char* arg) {
            reinterpret_cast<mii_ioctl_data*>(&reinterpret_cast<ifreq*>(arg)->ifr_ifru)->phy_id = id;
            return 0;
        };
    }

    TempDir folder;
    // Every ioctl goes to the mock, so the production name is safe here.
    ProtocolEnvironment environment = WithEthernet(DockSim::TestEnvironment(folder.path().string()));
    std::vector<std::byte> mac{std::byte{2}, std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0x3A}};
    bool up = true;
    std::string ip = "10.0.0.2";
    MockLinuxApi* api = nullptr;
    std::unique_ptr<DockProtoIF> dock;
};

TEST_F(DockProtoDravoTest, AnyDriverButTheAx88179ReadsTheWholeImage) {
    // A shorter name and a name filling the whole field are not the ax88179.
    for (const auto& driver : {std::string("lan78xx"), std::string("ax88179_178"), std::string(40, 'a')}) {
        Make();
        EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, _))
            .WillOnce(Driver(driver))
            .WillOnce([](int, unsigned long, char* arg) {
                const auto header = testing_support::EepromHeader(arg);
                EXPECT_EQ(header.cmd, static_cast<std::uint32_t>(ETHTOOL_GEEPROM));
                EXPECT_EQ(header.magic, 0u);
                EXPECT_EQ(header.offset, 0u);
                EXPECT_EQ(header.len, 512u);
                std::memset(testing_support::EepromData(arg), 0x5A, 512);
                return 0;
            });
        EXPECT_CALL(*api, ioctl(_, SIOCGMIIPHY, _)).WillOnce(Return(-1));  // ignored
        EXPECT_EQ(dock->SayHello(), RC::Ok) << driver;
        const auto& dravo = static_cast<DockProtoDravo&>(*dock);
        EXPECT_FALSE(dravo.GetEeprom().IsAx88179());
        EXPECT_EQ(dravo.GetEeprom().GetImage()[511], 0x5A);
    }
}

TEST_F(DockProtoDravoTest, SayHelloFailsWithoutSocketOrDriverAnswer) {
    environment.system.openIoctlSocket = [] { return FileDescriptor(); };
    Make();
    EXPECT_EQ(dock->SayHello(), RC::Failed);  // StrictMock: no request at all

    environment.system.openIoctlSocket = OpenIoctlSocket;
    Make();
    ScopedLogCapture log;
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, _)).WillOnce(Return(-1));
    EXPECT_EQ(dock->SayHello(), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("SIOCETHTOOL failed: -1"));
    // Lines name their source without the extension.
    std::set<std::string> sources;
    for (const auto& line : log.Sink().Lines()) {
        sources.insert(line.file);
    }
    EXPECT_THAT(sources, ::testing::IsSubsetOf({"common/lib/DockProtocol/src/DockProtoDravo",
                                                "common/lib/DockProtocol/src/EthtoolEeprom"}));
}

TEST_F(DockProtoDravoTest, UploadStatusIsWrittenOncePerChangeAndPhyLearntOnNeed) {
    Make();
    std::vector<mii_ioctl_data> writes;
    EXPECT_CALL(*api, ioctl(_, SIOCGMIIPHY, _)).Times(3).WillOnce(Return(-1)).WillRepeatedly(Phy(1));
    EXPECT_CALL(*api, ioctl(_, SIOCSMIIREG, _)).Times(2).WillRepeatedly([&](int, unsigned long, char* arg) {
        writes.push_back(Mii(arg));
        return 0;
    });

    EXPECT_EQ(dock->SetUploadStatus(Status::Pending), RC::Failed) << "PHY unknown";
    EXPECT_EQ(dock->SetUploadStatus(Status::Pending), RC::Ok) << "same status: no request";
    EXPECT_EQ(dock->SetUploadStatus(Status::Uploading), RC::Ok);
    EXPECT_EQ(dock->SetUploadStatusAsync(Status::Uploading).code, RC::Ok);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].phy_id, 1);
    EXPECT_EQ(writes[0].reg_num, 29);
    EXPECT_EQ(writes[0].val_in, 0x0EEA);

    // An interface that went down may come back with another PHY.
    up = false;
    EXPECT_EQ(dock->CheckNetwork().value, 1u);
    EXPECT_EQ(dock->SetUploadStatus(Status::Error), RC::Ok);
    EXPECT_EQ(writes.size(), 2u);
}

TEST_F(DockProtoDravoTest, ChargeStatusStartsAtFourAndRetriesAFailedWrite) {
    Make();
    EXPECT_EQ(dock->SetChargeStatus(Charge::Unknown), RC::Ok);  // StrictMock: no request

    std::vector<std::vector<unsigned char>> sent;
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, EepromRequest(ETHTOOL_SEEPROM, 0x71, 1)))
        .WillOnce(Return(-1))
        .WillOnce([&](int fd, unsigned long request, char* arg) {
            EXPECT_EQ(testing_support::EepromHeader(arg).magic, 0x78A5u);
            return Keep(sent)(fd, request, arg);
        });
    EXPECT_EQ(dock->SetChargeStatus(Charge::Full), RC::Failed);
    EXPECT_EQ(dock->SetChargeStatusAsync(Charge::Full).code, RC::Ok);
    EXPECT_EQ(sent, (std::vector<std::vector<unsigned char>>{{1}}));
}

TEST_F(DockProtoDravoTest, ChargeFaultIsReadFromTheDevice) {
    Make();
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, EepromRequest(ETHTOOL_GEEPROM, 0x70, 1)))
        .WillOnce(Return(-1))
        .WillOnce(Answer({0x21}));
    const auto failed = dock->GetChargeFault();
    EXPECT_EQ(failed.code, RC::Failed);
    EXPECT_EQ(failed.value, 0u);
    const auto fault = dock->GetChargeFault();
    EXPECT_EQ(fault.code, RC::Ok);
    EXPECT_EQ(fault.value, 0x21u);
}

TEST_F(DockProtoDravoTest, RecordsComeFromTheImageAndTheInterface) {
    const std::array<std::byte, 16> tenant{};
    Make(std::make_unique<DockProto::EthtoolEeprom>(ETHTOOL_GEEPROM, 0, 512,
                                                    std::array<std::string_view, 2>{"192.0.2.7", "192.0.2.8"}, 1,
                                                    DockProto::PmxConfig::kFlagAddressMode2, "10.0.0.2", "255.255.0.0",
                                                    "10.0.0.1", "0.0.0.0", 443, "Room", "Station", tenant, 0, 0));

    const auto network = dock->ProvisionNetwork();
    EXPECT_EQ(network.code, RC::Ok);
    EXPECT_EQ(network.value.addressMode, 2u);
    EXPECT_EQ(network.value.dns, "10.0.0.1") << "no DNS server: the gateway stands in";
    EXPECT_EQ(network.value.macAddress, "02:00:00:00:00:3a");

    const auto server = dock->GetServerInfo();
    EXPECT_EQ(server.code, RC::Ok);
    EXPECT_EQ(server.value.slotId, 10);
    EXPECT_EQ(server.value.dnsIp, "0.0.0.0") << "no fallback for the server record";
    EXPECT_EQ(server.value.serverUrlType, DockProtoIF::ServerUrlType::IpAddress);
    EXPECT_EQ(server.value.primaryServerUrl, "192.0.2.7");
    EXPECT_EQ(server.value.port, "443");
    EXPECT_EQ(server.value.tenantId, "00000000-0000-0000-0000-000000000000");
    EXPECT_TRUE(server.value.availableForCheckout);
    EXPECT_EQ(server.value.ELLocationType, "Q7 Dravo");

    mac.pop_back();
    ScopedLogCapture log;
    const auto badNetwork = dock->ProvisionNetwork();
    EXPECT_EQ(badNetwork.code, RC::Failed);
    EXPECT_EQ(badNetwork.value.addressMode, 0u);
    EXPECT_TRUE(badNetwork.value.ipAddress.empty());
    const auto badServer = dock->GetServerInfo();
    EXPECT_EQ(badServer.code, RC::Failed);
    EXPECT_EQ(badServer.value.stationId, "Corvantech");
    EXPECT_TRUE(log.Sink().Contains("bad MAC address"));
}

TEST_F(DockProtoDravoTest, CheckNetworkNamesWhatIsMissing) {
    Make();
    ScopedLogCapture log;
    EXPECT_EQ(dock->CheckNetwork().code, RC::Ok);
    ip.clear();
    const auto noAddress = dock->CheckNetwork();
    EXPECT_EQ(noAddress.value, 2u);
    EXPECT_EQ(noAddress.code, RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("failed to get IP address on eth0"));
    up = false;
    EXPECT_EQ(dock->CheckNetwork().value, 1u);
    EXPECT_TRUE(log.Sink().Contains("eth0 not up!"));
}

TEST_F(DockProtoDravoTest, OffersOnlyWhatTheCradleCanDo) {
    Make();
    EXPECT_EQ(dock->GetName(), "Dravo");
    for (const auto code :
         {dock->SwitchChannel(), dock->SetWifiMac("m"), dock->SetSerialNumber("s"), dock->RequestBaseLog(1),
          dock->DownloadBaseLog(1), dock->Cancel(), dock->SetShutdownCallback(nullptr),
          dock->SetTerminateBackendCallback(nullptr), dock->Associate().code, dock->GetShutdown().code}) {
        EXPECT_EQ(code, RC::NotSupported);
    }
    auto registered = InterfaceFactory::Create<DockProtoIF, std::string_view, DockCallbackIF*>("Dravo", "", nullptr);
    EXPECT_NE(dynamic_cast<DockProtoDravo*>(registered.get()), nullptr);
}

}  // namespace
}  // namespace tvo
