// The cradle's EEPROM map: chip constants, the configuration block read from
// hand-placed bytes, the image builder and the upload status encodings.

#include <DockProtocol/EthtoolEeprom.h>

#include <Common/Network.h>
#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <linux/ethtool.h>

#include <cstring>
#include <stdexcept>

namespace tvo::DockProto {
namespace {

using Status = DockProtoIF::UploadStatus;

constexpr std::array<std::byte, 16> kTenant = {std::byte{0x00}, std::byte{0x11}, std::byte{0x22}, std::byte{0x33},
                                               std::byte{0x44}, std::byte{0x55}, std::byte{0x66}, std::byte{0x77},
                                               std::byte{0x88}, std::byte{0x99}, std::byte{0xAA}, std::byte{0xBB},
                                               std::byte{0xCC}, std::byte{0xDD}, std::byte{0xEE}, std::byte{0xFF}};

std::unique_ptr<EthtoolEeprom> Build(std::array<std::string_view, 2> servers, unsigned char flags,
                                     std::string_view room = "Room") {
    return std::make_unique<EthtoolEeprom>(ETHTOOL_GEEPROM, 4, 500, servers, 7, flags, "10.1.2.3", "255.255.255.0",
                                           "10.1.2.1", "10.1.2.53", 8443, room, "Station", kTenant, 0x42, 0x03);
}

TEST(EepromLayout, AccessorsFollowTheSelectedChipAndKeepTheImage) {
    EthtoolEeprom eeprom;
    ASSERT_EQ(eeprom.GetV().index(), 0u);
    EXPECT_EQ(eeprom.GetEepromMagic(), 0x78A5u);
    EXPECT_EQ(eeprom.GetBaseChargeFaultAddress(), 0x70u);
    EXPECT_EQ(eeprom.GetCameraChargeStatusAddress(), 0x71u);
    eeprom.GetImage()[0x70] = 9;
    EXPECT_EQ(eeprom.SetChargeStatus(2), 0x71u);

    eeprom.SelectLayout(EEPROM_ax88179{});
    ASSERT_EQ(eeprom.GetV().index(), 1u);
    EXPECT_EQ(eeprom.GetEepromMagic(), 0x17900B95u);
    EXPECT_EQ(eeprom.GetBaseChargeFaultAddress(), 0x1Cu);
    EXPECT_EQ(eeprom.GetCameraChargeStatusAddress(), 0x76u);
    EXPECT_EQ(eeprom.GetImage()[0x71], 2) << "switching the chip keeps the image";
    eeprom.GetImage()[0x1C] = 4;
    EXPECT_EQ(eeprom.GetChargeFault(), 4);

    for (const auto* chip : {"lan", "ax"}) {
        EXPECT_EQ(eeprom.GetPMXDataStartAddress(), 128u) << chip;
        EXPECT_EQ(eeprom.GetPMXDataSize(), 364u) << chip;
        EXPECT_EQ(eeprom.GetPMXDataCRCAddress(), 510u) << chip;
        EXPECT_EQ(eeprom.GetPMXDataCRCSize(), 2u) << chip;
        eeprom.SelectLayout(EEPROM_lan7850{});
    }
}

TEST(EepromLayout, UploadStatusShowsAsPhyRegisterPattern) {
    struct Row {
        std::uint32_t status;
        std::uint16_t lan;
        std::uint16_t ax;
    };
    const Row rows[] = {{0, 0x0EFE, 0x884C}, {1, 0x0EEA, 0x89A2}, {2, 0x0EEF, 0x8982}, {3, 0x0EEF, 0x8982},
                        {4, 0x0FEE, 0xB042}, {5, 0x0EFE, 0x884C}, {7, 0x0EEE, 0x8842}, {0xFFFFFFFF, 0x0EEE, 0x8842}};
    EthtoolEeprom eeprom;
    for (const auto& row : rows) {
        eeprom.SelectLayout(EEPROM_lan7850{});
        const auto lan = eeprom.SetUploadStatus(static_cast<Status>(row.status));
        eeprom.SelectLayout(EEPROM_ax88179{});
        ScopedLogCapture log;
        const auto ax = eeprom.SetUploadStatus(static_cast<Status>(row.status));
        const auto lines = log.Sink().Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].text, "status: " + std::to_string(row.status));
        EXPECT_EQ(lines[0].level, LogLevel::Info);
        EXPECT_EQ(lines[0].file, "common/lib/DockProtocol/src/EthtoolEeprom");  // no extension
        EXPECT_EQ(lines[0].function, "SetUploadStatus");
        EXPECT_EQ(lan.value, row.lan) << row.status;
        EXPECT_EQ(lan.reg, 29) << row.status;
        EXPECT_EQ(ax.value, row.ax) << row.status;
        EXPECT_EQ(ax.reg, 255) << row.status;
    }
}

TEST(PmxConfig, ReadsFieldsFromTheirOffsetsLittleEndian) {
    EthtoolEeprom eeprom;
    unsigned char* c = eeprom.GetImage().data() + 128;
    const unsigned char ip[] = {10, 1, 2, 3};
    std::memcpy(c + 258, ip, 4);
    c[270] = 8;  // DNS 8.0.0.0
    c[274] = 0xBB;
    c[275] = 0x01;  // port 443
    c[257] = 0x03;
    std::memcpy(c + 284, "Room", 4);
    std::memset(c + 316, 'S', 32);  // station without terminator, tenant follows
    std::memcpy(c + 348, kTenant.data(), 16);

    const PmxConfig& config = *eeprom.GetPmxConfig();
    EXPECT_EQ(Ip4IntToString(config.GetIpAddress()), "10.1.2.3");
    EXPECT_EQ(Ip4IntToString(config.GetDns()), "8.0.0.0");
    EXPECT_EQ(config.GetPort(), 443);
    EXPECT_EQ(config.flags, 0x03);
    EXPECT_EQ(config.GetRoomDescription(), "Room");
    EXPECT_EQ(config.GetStationId(), std::string(32, 'S'));
    EXPECT_EQ(config.GetTenantId(), "00112233-4455-6677-8899-aabbccddeeff");
    std::memset(c + 348, 0, 16);
    EXPECT_EQ(config.GetTenantId(), "00000000-0000-0000-0000-000000000000");
}

TEST(PmxConfig, UnterminatedTextAtTheEndOfItsBufferIsNotOverrun) {
    // The block alone on the heap, without a NUL anywhere: any read past a
    // field's end that leaves the block is an ASan report.
    auto raw = std::make_unique<unsigned char[]>(sizeof(PmxConfig));
    std::memset(raw.get(), 'x', sizeof(PmxConfig));
    const auto* config = reinterpret_cast<const PmxConfig*>(raw.get());
    EXPECT_EQ(config->GetPrimaryHost().size(), 128u);
    EXPECT_EQ(config->GetSecondaryHost().size(), 128u);
    EXPECT_EQ(config->GetRoomDescription().size(), 32u);
    EXPECT_EQ(config->GetStationId().size(), 32u);
    EXPECT_EQ(config->GetTenantId(), "78787878-7878-7878-7878-787878787878");
}

TEST(ImageBuilder, HostNamesFillTheirFieldsAndTheRestLandsInPlace) {
    const std::string longest(128, 'p');
    const std::string room = "A room description longer than its field";
    const auto eeprom = Build({longest, "second.example"}, PmxConfig::kFlagServersByName, room);
    const auto& config = *eeprom->GetPmxConfig();
    EXPECT_EQ(config.GetPrimaryHost(), longest) << "no terminator, nothing of the next field";
    EXPECT_EQ(config.GetSecondaryHost(), "second.example");
    EXPECT_EQ(config.GetPrimaryServer(), 0u);
    EXPECT_EQ(config.GetRoomDescription(), room.substr(0, 32));

    const auto& image = eeprom->GetImage();
    EXPECT_EQ(image[128 + 256], 7) << "format byte";
    EXPECT_EQ(image[128 + 257], PmxConfig::kFlagServersByName);
    EXPECT_EQ(image[0x70], 0x42) << "charge fault, LAN78xx place";
    EXPECT_EQ(image[0x71], 0x03) << "charge status, LAN78xx place";
    EXPECT_EQ(Ip4IntToString(config.GetGateway()), "10.1.2.1");
    EXPECT_EQ(config.GetPort(), 8443);
    EXPECT_EQ(config.GetTenantId(), "00112233-4455-6677-8899-aabbccddeeff");
}

TEST(ImageBuilder, ServersByAddressLeaveTheHostFieldsEmpty) {
    auto eeprom = Build({"192.0.2.1", "192.0.2.2"}, 0);
    const auto& config = *eeprom->GetPmxConfig();
    EXPECT_EQ(Ip4IntToString(config.GetPrimaryServer()), "192.0.2.1");
    EXPECT_EQ(Ip4IntToString(config.GetSecondaryServer()), "192.0.2.2");
    const auto& image = eeprom->GetImage();
    EXPECT_TRUE(std::all_of(image.begin() + 128, image.begin() + 384, [](unsigned char byte) { return byte == 0; }));
    EXPECT_EQ(eeprom->GetRequest().cmd, static_cast<std::uint32_t>(ETHTOOL_GEEPROM));
    EXPECT_EQ(eeprom->GetRequest().magic, 0u);
    EXPECT_EQ(eeprom->GetRequest().offset, 4u);
    EXPECT_EQ(eeprom->GetRequest().len, 500u);
}

TEST(ImageBuilder, BadAddressTextIsRefused) {
    EXPECT_THROW(Build({"not-an-address", "192.0.2.2"}, 0), std::invalid_argument);
    EXPECT_THROW(std::make_unique<EthtoolEeprom>(ETHTOOL_GEEPROM, 0, 512, std::array<std::string_view, 2>{"a", "b"}, 0,
                                                 PmxConfig::kFlagServersByName, "10.0.0.256", "255.0.0.0", "10.0.0.1",
                                                 "0.0.0.0", 1, "", "", kTenant, 0, 0),
                 std::invalid_argument);
}

}  // namespace
}  // namespace tvo::DockProto
