#pragma once
// The camera's view of a Dravo cradle's adapter EEPROM: the configuration block
// the dock leaves there, the two adapter chips' maps, and the block handshake
// through which the ax88179 cradle hands the configuration over.

#include <DockProtocol/Export.h>
#include <Common/LinuxApi.h>
#include <DockProtocol/DockProtoIF.h>
#include <FileDescriptor/FileDescriptor.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tvo {

struct ProtocolEnvironment;

namespace DockProto {

// The configuration block at image byte 128. Every field is a byte array, so
// the struct has no padding, no alignment needs and can overlay any image;
// numbers are little-endian and read through the accessors.
struct PMX_DOCKPROTOCOL_API PmxConfig {
    static constexpr unsigned char kFlagAddressMode2 = 0x01;
    static constexpr unsigned char kFlagServersByName = 0x02;

    char primaryHost[128];
    char secondaryHost[128];
    unsigned char formatByte;
    unsigned char flags;
    unsigned char ipAddress[4];
    unsigned char netmask[4];
    unsigned char gateway[4];
    unsigned char dns[4];
    unsigned char port[2];
    unsigned char primaryServer[4];
    unsigned char secondaryServer[4];
    char roomDescription[32];
    char stationId[32];
    unsigned char tenantIdBytes[16];

    // IPv4 numbers as Ip4IntToString takes them.
    std::uint32_t GetIpAddress() const { return Load32(ipAddress); }
    std::uint32_t GetNetmask() const { return Load32(netmask); }
    std::uint32_t GetGateway() const { return Load32(gateway); }
    std::uint32_t GetDns() const { return Load32(dns); }
    std::uint32_t GetPrimaryServer() const { return Load32(primaryServer); }
    std::uint32_t GetSecondaryServer() const { return Load32(secondaryServer); }
    std::uint16_t GetPort() const {
        return static_cast<std::uint16_t>(port[0] | (port[1] << 8));
    }

    // Text up to the first NUL or the field's width, never beyond it.
    std::string GetPrimaryHost() const { return Text(primaryHost, sizeof primaryHost); }
    std::string GetSecondaryHost() const { return Text(secondaryHost, sizeof secondaryHost); }
    std::string GetRoomDescription() const { return Text(roomDescription, sizeof roomDescription); }
    std::string GetStationId() const { return Text(stationId, sizeof stationId); }

    // The tenant UUID in 8-4-4-4-12 lowercase form.
    std::string GetTenantId() const;

    static void Store32(unsigned char* field, std::uint32_t value);
    static void Store16(unsigned char* field, std::uint16_t value);

private:
    static std::uint32_t Load32(const unsigned char* field) {
        return static_cast<std::uint32_t>(field[0]) | static_cast<std::uint32_t>(field[1]) << 8 |
               static_cast<std::uint32_t>(field[2]) << 16 |
               static_cast<std::uint32_t>(field[3]) << 24;
    }
    static std::string Text(const char* field, std::size_t width);
};

// A PHY register write that shows the upload status on the cradle.
struct PMX_DOCKPROTOCOL_API UploadStatusLed {
    std::uint16_t value;
    std::uint16_t reg;
};

// Map of a cradle whose adapter the LAN78xx driver serves: the configuration
// sits in place in the EEPROM.
struct PMX_DOCKPROTOCOL_API EEPROM_lan7850 {
    static constexpr std::uint32_t kEepromMagic = 0x78A5;
    static constexpr std::uint32_t kBaseChargeFaultAddress = 0x70;
    static constexpr std::uint32_t kCameraChargeStatusAddress = 0x71;
    static constexpr std::uint32_t kPmxDataStartAddress = 128;
    static constexpr std::uint32_t kPmxDataSize = 364;
    static constexpr std::uint32_t kPmxDataCrcAddress = 510;
    static constexpr std::uint32_t kPmxDataCrcSize = 2;
    static constexpr std::uint16_t kUploadStatusRegister = 29;

    UploadStatusLed SetUploadStatus(DockProtoIF::UploadStatus status) const;
};

// Map of a cradle with the ax88179 adapter: the configuration arrives through
// the block handshake.
struct PMX_DOCKPROTOCOL_API EEPROM_ax88179 {
    static constexpr std::uint32_t kEepromMagic = 0x17900B95;
    static constexpr std::uint32_t kBaseChargeFaultAddress = 0x1C;
    static constexpr std::uint32_t kCameraChargeStatusAddress = 0x76;
    static constexpr std::uint32_t kPmxDataStartAddress = 128;
    static constexpr std::uint32_t kPmxDataSize = 364;
    static constexpr std::uint32_t kPmxDataCrcAddress = 510;
    static constexpr std::uint32_t kPmxDataCrcSize = 2;
    static constexpr std::uint16_t kUploadStatusRegister = 255;

    UploadStatusLed SetUploadStatus(DockProtoIF::UploadStatus status) const;
};

// The fixed part of a Linux struct ethtool_eeprom, field for field. The kernel
// header ends in a flexible array, which C++ does not allow in front of the
// image that a whole-EEPROM read fills.
struct PMX_DOCKPROTOCOL_API EepromRequestHeader {
    std::uint32_t cmd;
    std::uint32_t magic;
    std::uint32_t offset;
    std::uint32_t len;
};

// The decoded handshake header byte; the other fields mean nothing unless valid.
struct PMX_DOCKPROTOCOL_API BlockHeader {
    bool resync = false;
    bool bwcReadComplete = false;
    bool lastblk = false;
    std::uint16_t blockid = 0;
    bool valid = false;
};

// The camera's side of the block handshake: takes six 64-byte blocks from the
// EEPROM window into the configuration area of the image.
class PMX_DOCKPROTOCOL_API BlockProto {
public:
    static constexpr std::uint32_t kMagic = EEPROM_ax88179::kEepromMagic;
    static constexpr std::uint32_t kHeaderAddress = 0x70;
    static constexpr std::uint32_t kCounterAddress = 0x72;
    static constexpr std::uint32_t kWindowAddress = 0x1E;
    static constexpr std::uint32_t kBlockSize = 64;
    static constexpr std::uint16_t kBlockCount = 6;
    static constexpr int kAttempts = 3;
    static constexpr std::chrono::milliseconds kRetryWait{250};

    static constexpr unsigned char kBlockIdMask = 0x07;
    static constexpr unsigned char kLastBlock = 0x08;
    static constexpr unsigned char kReadComplete = 0x10;
    static constexpr unsigned char kResync = 0x20;

    using Sleep = std::function<void(std::chrono::nanoseconds)>;

    // destination: room for six blocks (image bytes 128 to 511), not owned.
    // Requests go to the production interface, waits really sleep.
    BlockProto(std::unique_ptr<LinuxApiIF> api, unsigned char* destination);
    // Interface name, socket and sleep come from the environment.
    BlockProto(std::unique_ptr<LinuxApiIF> api, unsigned char* destination,
               const ProtocolEnvironment& environment);
    ~BlockProto();
    BlockProto(const BlockProto&) = delete;
    BlockProto& operator=(const BlockProto&) = delete;

    BlockHeader GetBlockHeader();
    bool SetBlockHeader(unsigned short blockid, bool lastblk, bool bwcReadComplete, bool resync);
    // Advances the counter (the dock's sign of life from the camera) and writes it.
    bool SetCounter();
    // Copies the window into block currentBlock of the destination and marks it read.
    bool GetBlock();
    // Waits for a ready block; empty on failure, true when a resync was asked.
    std::optional<bool> CheckAndResync();
    bool Start();
    bool GetNext();

    std::uint16_t GetCurrentBlock() const { return currentBlock; }
    std::uint16_t GetCounter() const { return counter; }
    bool Complete() const { return currentBlock >= kBlockCount; }

private:
    int Transfer(std::uint32_t command, std::uint32_t offset, unsigned char* data,
                 std::uint32_t length);

    std::uint16_t currentBlock = 0;
    std::unique_ptr<LinuxApiIF> api;
    FileDescriptor socket;
    unsigned char* destination;
    std::uint16_t counter = 0;
    std::string interfaceName;
    Sleep sleep;
};

// The camera's copy of the adapter EEPROM and the chip map that applies to it.
class PMX_DOCKPROTOCOL_API EthtoolEeprom {
public:
    static constexpr std::size_t kImageSize = 512;
    using Image = std::array<unsigned char, kImageSize>;
    using Layout = std::variant<EEPROM_lan7850, EEPROM_ax88179>;
    using LayoutView = std::variant<EEPROM_lan7850*, EEPROM_ax88179*>;

    // LAN78xx map, zero image.
    EthtoolEeprom();
    // Image builder for tools and tests that fabricate a cradle's contents.
    // Throws std::invalid_argument on bad dotted IPv4 text.
    EthtoolEeprom(unsigned int cmd, unsigned int offset, unsigned int len,
                  std::array<std::string_view, 2> servers, unsigned char formatByte,
                  unsigned char flags, std::string_view ip, std::string_view netmask,
                  std::string_view gateway, std::string_view dns, unsigned short port,
                  std::string_view roomDescription, std::string_view stationId,
                  std::array<std::byte, 16> tenantId, unsigned char baseChargeFault,
                  unsigned char cameraChargeStatus);
    ~EthtoolEeprom();
    // The block reader points into the image: the object stays where it is.
    EthtoolEeprom(const EthtoolEeprom&) = delete;
    EthtoolEeprom& operator=(const EthtoolEeprom&) = delete;

    PmxConfig* GetPmxConfig();
    const PmxConfig* GetPmxConfig() const;
    LayoutView GetV();
    // Switches the chip map only; image and block reader stay.
    void SelectLayout(Layout chip) { layout = chip; }
    bool IsAx88179() const { return std::holds_alternative<EEPROM_ax88179>(layout); }

    std::uint32_t GetEepromMagic() const;
    std::uint32_t GetBaseChargeFaultAddress() const;
    std::uint32_t GetCameraChargeStatusAddress() const;
    std::uint32_t GetPMXDataStartAddress() const;
    std::uint32_t GetPMXDataSize() const;
    std::uint32_t GetPMXDataCRCAddress() const;
    std::uint32_t GetPMXDataCRCSize() const;

    UploadStatusLed SetUploadStatus(DockProtoIF::UploadStatus status) const;
    // From the copy in memory, not from the device.
    unsigned char GetChargeFault() const;
    // Stores the byte in memory and returns where it belongs.
    std::uint32_t SetChargeStatus(unsigned char status);

    // The request header of a whole-EEPROM read; the kernel fills image behind it.
    EepromRequestHeader& GetRequest() { return request; }
    Image& GetImage() { return image; }
    const Image& GetImage() const { return image; }
    // Where the block handshake delivers the configuration.
    unsigned char* GetConfigurationArea() { return image.data() + kConfigurationOffset; }

    BlockProto& GetBlockProto() { return *blockProto; }
    const BlockProto& GetBlockProto() const { return *blockProto; }
    void SetBlockProto(std::unique_ptr<BlockProto> reader);

private:
    static constexpr std::size_t kConfigurationOffset = 128;

    EepromRequestHeader request{};
    Image image{};
    Layout layout;
    std::unique_ptr<BlockProto> blockProto;
};

}  // namespace DockProto
}  // namespace tvo
