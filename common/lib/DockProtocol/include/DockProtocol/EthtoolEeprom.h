/// \file
/// The Dravo cradle's adapter EEPROM: its layouts, the configuration block,
/// and the block handshake of the ax88179 cradle.
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

/// The Dravo cradle's adapter EEPROM: layouts, configuration block and block
/// handshake. DockProtoDravo drives all of it; tools and tests use it to
/// fabricate and inspect a cradle's contents.
namespace DockProto {

// The configuration block at image byte 128. Every field is a byte array, so
// the struct has no padding, no alignment needs and can overlay any image;
// numbers are little-endian and read through the accessors.
/// The configuration block the cradle leaves for the camera: 364 bytes at
/// image byte 128.
///
/// Every field is a byte array, so the struct overlays an image without
/// padding or alignment needs. Numbers are little-endian: read them through
/// the accessors, write them with Store32() and Store16(). No checksum is
/// checked; what the image holds is used.
struct PMX_DOCKPROTOCOL_API PmxConfig {
    /// #flags bit: the camera's address mode is 2 (clear: 1).
    static constexpr unsigned char kFlagAddressMode2 = 0x01;
    /// #flags bit: the servers are host names in #primaryHost and #secondaryHost
    /// (clear: IPv4 numbers in #primaryServer and #secondaryServer).
    static constexpr unsigned char kFlagServersByName = 0x02;

    /// Primary server's host name, NUL-terminated unless it fills the field.
    char primaryHost[128];
    /// Secondary server's host name, same form.
    char secondaryHost[128];
    /// Written by the image builder; the camera does not read it.
    unsigned char formatByte;
    /// #kFlagAddressMode2 and #kFlagServersByName.
    unsigned char flags;
    /// The camera's IPv4 address (GetIpAddress()).
    unsigned char ipAddress[4];
    /// Netmask (GetNetmask()).
    unsigned char netmask[4];
    /// Gateway (GetGateway()).
    unsigned char gateway[4];
    /// DNS server; 0 means none (GetDns()).
    unsigned char dns[4];
    /// The back-end server's port (GetPort()).
    unsigned char port[2];
    /// Primary server's IPv4 address, when not given by name (GetPrimaryServer()).
    unsigned char primaryServer[4];
    /// Secondary server's IPv4 address, same (GetSecondaryServer()).
    unsigned char secondaryServer[4];
    /// Room description, NUL-padded (GetRoomDescription()).
    char roomDescription[32];
    /// Station name, NUL-padded (GetStationId()).
    char stationId[32];
    /// The tenant UUID's 16 bytes in text order (GetTenantId()).
    unsigned char tenantIdBytes[16];

    // IPv4 numbers as Ip4IntToString takes them.
    /// #ipAddress as an IPv4 number.
    std::uint32_t GetIpAddress() const { return Load32(ipAddress); }
    /// #netmask as an IPv4 number.
    std::uint32_t GetNetmask() const { return Load32(netmask); }
    /// #gateway as an IPv4 number.
    std::uint32_t GetGateway() const { return Load32(gateway); }
    /// #dns as an IPv4 number.
    std::uint32_t GetDns() const { return Load32(dns); }
    /// #primaryServer as an IPv4 number.
    std::uint32_t GetPrimaryServer() const { return Load32(primaryServer); }
    /// #secondaryServer as an IPv4 number.
    std::uint32_t GetSecondaryServer() const { return Load32(secondaryServer); }
    /// #port as a number.
    std::uint16_t GetPort() const { return static_cast<std::uint16_t>(port[0] | (port[1] << 8)); }

    // Text up to the first NUL or the field's width, never beyond it.
    /// #primaryHost as text.
    std::string GetPrimaryHost() const { return Text(primaryHost, sizeof primaryHost); }
    /// #secondaryHost as text.
    std::string GetSecondaryHost() const { return Text(secondaryHost, sizeof secondaryHost); }
    /// #roomDescription as text.
    std::string GetRoomDescription() const { return Text(roomDescription, sizeof roomDescription); }
    /// #stationId as text.
    std::string GetStationId() const { return Text(stationId, sizeof stationId); }

    /// #tenantIdBytes as UUID text, 8-4-4-4-12 lowercase hexadecimal.
    // The tenant UUID in 8-4-4-4-12 lowercase form.
    std::string GetTenantId() const;

    /// Stores a number in a 4-byte field, least significant byte first.
    static void Store32(unsigned char* field, std::uint32_t value);
    /// Stores a number in a 2-byte field, least significant byte first.
    static void Store16(unsigned char* field, std::uint16_t value);

private:
    static std::uint32_t Load32(const unsigned char* field) {
        return static_cast<std::uint32_t>(field[0]) | static_cast<std::uint32_t>(field[1]) << 8 |
               static_cast<std::uint32_t>(field[2]) << 16 | static_cast<std::uint32_t>(field[3]) << 24;
    }
    static std::string Text(const char* field, std::size_t width);
};

// A PHY register write that shows the upload status on the cradle.
/// A PHY register write that shows an upload status on the cradle.
struct PMX_DOCKPROTOCOL_API UploadStatusLed {
    /// The value to write.
    std::uint16_t value;
    /// The PHY register to write it to.
    std::uint16_t reg;
};

// Map of a cradle whose adapter the LAN78xx driver serves: the configuration
// sits in place in the EEPROM.
/// EEPROM layout of a cradle whose adapter the LAN78xx driver serves: the
/// configuration sits in place and is read with the whole EEPROM.
struct PMX_DOCKPROTOCOL_API EEPROM_lan7850 {
    /// Magic the driver requires in an EEPROM request.
    static constexpr std::uint32_t kEepromMagic = 0x78A5;
    /// The base's charge-fault byte.
    static constexpr std::uint32_t kBaseChargeFaultAddress = 0x70;
    /// The camera's charge-status byte.
    static constexpr std::uint32_t kCameraChargeStatusAddress = 0x71;
    /// Start of the PmxConfig block.
    static constexpr std::uint32_t kPmxDataStartAddress = 128;
    /// Size of the PmxConfig block.
    static constexpr std::uint32_t kPmxDataSize = 364;
    /// Where the configuration's checksum is kept (not checked).
    static constexpr std::uint32_t kPmxDataCrcAddress = 510;
    /// Size of the checksum.
    static constexpr std::uint32_t kPmxDataCrcSize = 2;
    /// PHY register that shows the upload status.
    static constexpr std::uint16_t kUploadStatusRegister = 29;

    /// The register write that shows `status`; values past 5 share one pattern of their own.
    UploadStatusLed SetUploadStatus(DockProtoIF::UploadStatus status) const;
};

// Map of a cradle with the ax88179 adapter: the configuration arrives through
// the block handshake.
/// EEPROM layout of a cradle with the ax88179 adapter: the configuration
/// arrives through the block handshake (BlockProto).
struct PMX_DOCKPROTOCOL_API EEPROM_ax88179 {
    /// Magic the driver requires in an EEPROM request.
    static constexpr std::uint32_t kEepromMagic = 0x17900B95;
    /// The base's charge-fault byte.
    static constexpr std::uint32_t kBaseChargeFaultAddress = 0x1C;
    /// The camera's charge-status byte.
    static constexpr std::uint32_t kCameraChargeStatusAddress = 0x76;
    /// Start of the PmxConfig block.
    static constexpr std::uint32_t kPmxDataStartAddress = 128;
    /// Size of the PmxConfig block.
    static constexpr std::uint32_t kPmxDataSize = 364;
    /// Where the configuration's checksum is kept (not checked).
    static constexpr std::uint32_t kPmxDataCrcAddress = 510;
    /// Size of the checksum.
    static constexpr std::uint32_t kPmxDataCrcSize = 2;
    /// PHY register that shows the upload status.
    static constexpr std::uint16_t kUploadStatusRegister = 255;

    /// The register write that shows `status`; values past 5 share one pattern of their own.
    UploadStatusLed SetUploadStatus(DockProtoIF::UploadStatus status) const;
};

// The fixed part of a Linux struct ethtool_eeprom, field for field. The kernel
// header ends in a flexible array, which C++ does not allow in front of the
// image that a whole-EEPROM read fills.
/// The fixed part of Linux's `struct ethtool_eeprom`, field for field.
struct PMX_DOCKPROTOCOL_API EepromRequestHeader {
    /// `ETHTOOL_GEEPROM` or `ETHTOOL_SEEPROM`.
    std::uint32_t cmd;
    /// The layout's magic (0 for a whole read).
    std::uint32_t magic;
    /// First EEPROM byte.
    std::uint32_t offset;
    /// Number of bytes.
    std::uint32_t len;
};

// The decoded handshake header byte; the other fields mean nothing unless valid.
/// The decoded handshake header byte (EEPROM byte 0x70 of an ax88179 cradle).
struct PMX_DOCKPROTOCOL_API BlockHeader {
    /// The camera asked the dock to start over; the camera waits while it is set.
    bool resync = false;
    /// The camera has copied block #blockid; the camera waits while it is set.
    bool bwcReadComplete = false;
    /// The dock's last-block mark (only logged).
    bool lastblk = false;
    /// Number of the block concerned, 0 to 7.
    std::uint16_t blockid = 0;
    /// The header could be read; the other fields mean nothing when false.
    bool valid = false;
};

// The camera's side of the block handshake: takes six 64-byte blocks from the
// EEPROM window into the configuration area of the image.
/// The camera's side of the ax88179 cradle's block handshake: copies six
/// 64-byte blocks from the EEPROM window into the configuration area.
///
/// The dock offers a block in the window (byte 0x1E) and clears the header
/// flags; the camera copies it and sets `bwcReadComplete` with the block's
/// number; a block of another number makes the camera ask for a resync. A
/// counter (byte 0x72) tells the dock the camera is alive. Each wait polls up
/// to #kAttempts times, #kRetryWait apart, on the calling thread.
/// DockProtoDravo calls Start() from SayHello(), GetNext() from
/// BlockProtocol() and SetCounter() from GetChargeFault().
class PMX_DOCKPROTOCOL_API BlockProto {
public:
    /// Magic of every handshake request.
    static constexpr std::uint32_t kMagic = EEPROM_ax88179::kEepromMagic;
    /// Header word (BlockHeader in its first byte).
    static constexpr std::uint32_t kHeaderAddress = 0x70;
    /// Counter word the camera advances.
    static constexpr std::uint32_t kCounterAddress = 0x72;
    /// Window the dock offers each block in.
    static constexpr std::uint32_t kWindowAddress = 0x1E;
    /// Bytes per block.
    static constexpr std::uint32_t kBlockSize = 64;
    /// Blocks per transfer.
    static constexpr std::uint16_t kBlockCount = 6;
    /// Header reads per wait for a ready block.
    static constexpr int kAttempts = 3;
    /// Pause between those reads.
    static constexpr std::chrono::milliseconds kRetryWait{250};

    /// Header bits of BlockHeader::blockid.
    static constexpr unsigned char kBlockIdMask = 0x07;
    /// Header bit of BlockHeader::lastblk.
    static constexpr unsigned char kLastBlock = 0x08;
    /// Header bit of BlockHeader::bwcReadComplete.
    static constexpr unsigned char kReadComplete = 0x10;
    /// Header bit of BlockHeader::resync.
    static constexpr unsigned char kResync = 0x20;

    /// How the handshake waits (SystemEnvironment::sleep).
    using Sleep = std::function<void(std::chrono::nanoseconds)>;

    // destination: room for six blocks (image bytes 128 to 511), not owned.
    // Requests go to the production interface, waits really sleep.
    /// A reader on the production interface that really sleeps. `destination`
    /// has room for six blocks and outlives the reader.
    BlockProto(std::unique_ptr<LinuxApiIF> api, unsigned char* destination);
    // Interface name, socket and sleep come from the environment.
    /// As above, with interface name, socket and sleep from `environment`.
    BlockProto(std::unique_ptr<LinuxApiIF> api, unsigned char* destination, const ProtocolEnvironment& environment);
    /// Closes the reader's socket.
    ~BlockProto();
    /// Not copyable: it owns a socket.
    BlockProto(const BlockProto&) = delete;
    /// Not copyable.
    BlockProto& operator=(const BlockProto&) = delete;

    /// Reads and decodes the header; BlockHeader::valid says whether the read worked.
    BlockHeader GetBlockHeader();
    /// Writes the header; true when the write worked.
    bool SetBlockHeader(unsigned short blockid, bool lastblk, bool bwcReadComplete, bool resync);
    /// Advances the counter and writes it; true when the write worked.
    // Advances the counter (the dock's sign of life from the camera) and writes it.
    bool SetCounter();
    /// Copies the window into the destination's block GetCurrentBlock() and marks
    /// it read, without advancing; false on a failed request or after the sixth block.
    // Copies the window into block currentBlock of the destination and marks it read.
    bool GetBlock();
    /// Waits for a ready block; asks for a resync when its number is not the one
    /// expected. \return empty on failure, true when a resync was asked, false
    ///         when the expected block is ready.
    // Waits for a ready block; empty on failure, true when a resync was asked.
    std::optional<bool> CheckAndResync();
    /// Starts a transfer from block 0 and takes the first block when it is
    /// ready; true unless a request failed or no block became ready.
    bool Start();
    /// Takes the next block (or asks for a resync); true unless a request failed
    /// or no block became ready. After the sixth block it changes nothing.
    bool GetNext();

    /// Blocks taken in so far, 0 to 6.
    std::uint16_t GetCurrentBlock() const { return currentBlock; }
    /// The counter's last value.
    std::uint16_t GetCounter() const { return counter; }
    /// Whether all six blocks are in.
    bool Complete() const { return currentBlock >= kBlockCount; }

private:
    int Transfer(std::uint32_t command, std::uint32_t offset, unsigned char* data, std::uint32_t length);

    std::uint16_t currentBlock = 0;
    std::unique_ptr<LinuxApiIF> api;
    // Opened by the first transfer: a reader that is replaced before it reads
    // (the EEPROM's default one) never holds a socket.
    std::function<FileDescriptor()> openSocket;
    FileDescriptor socket;
    unsigned char* destination;
    std::uint16_t counter = 0;
    std::string interfaceName;
    Sleep sleep;
};

// The camera's copy of the adapter EEPROM and the chip map that applies to it.
/// The camera's copy of a Dravo adapter's EEPROM and the layout that applies
/// to it.
///
/// DockProtoDravo reads the whole EEPROM into the image (LAN78xx) or lets the
/// block handshake fill its configuration area (ax88179). The accessors work
/// on the copy and the layout only; none touches the device.
class PMX_DOCKPROTOCOL_API EthtoolEeprom {
public:
    /// Bytes in the EEPROM.
    static constexpr std::size_t kImageSize = 512;
    /// The EEPROM's bytes.
    using Image = std::array<unsigned char, kImageSize>;
    /// The chip's layout.
    using Layout = std::variant<EEPROM_lan7850, EEPROM_ax88179>;
    /// The chip's layout, by pointer.
    using LayoutView = std::variant<EEPROM_lan7850*, EEPROM_ax88179*>;

    // LAN78xx map, zero image.
    /// LAN78xx layout, an all-zero image, and a block reader on the production interface.
    EthtoolEeprom();
    // Image builder for tools and tests that fabricate a cradle's contents.
    // Throws std::invalid_argument on bad dotted IPv4 text.
    /// Builds the image of a cradle's EEPROM (LAN78xx layout) for tools and tests.
    ///
    /// `servers` are host names when `flags` has PmxConfig::kFlagServersByName,
    /// else dotted IPv4 texts; `ip`, `netmask`, `gateway` and `dns` are dotted
    /// IPv4. Texts longer than their field are cut. `cmd`, `offset` and `len` go
    /// into the request header.
    /// \throws std::invalid_argument on bad dotted IPv4 text.
    EthtoolEeprom(unsigned int cmd, unsigned int offset, unsigned int len, std::array<std::string_view, 2> servers,
                  unsigned char formatByte, unsigned char flags, std::string_view ip, std::string_view netmask,
                  std::string_view gateway, std::string_view dns, unsigned short port, std::string_view roomDescription,
                  std::string_view stationId, std::array<std::byte, 16> tenantId, unsigned char baseChargeFault,
                  unsigned char cameraChargeStatus);
    /// Frees the image and the block reader.
    ~EthtoolEeprom();
    // The block reader points into the image: the object stays where it is.
    /// Not copyable: the block reader points into this object's image.
    EthtoolEeprom(const EthtoolEeprom&) = delete;
    /// Not copyable.
    EthtoolEeprom& operator=(const EthtoolEeprom&) = delete;

    /// The configuration block in the image (byte 128).
    PmxConfig* GetPmxConfig();
    /// The configuration block in the image (byte 128).
    const PmxConfig* GetPmxConfig() const;
    /// The current layout.
    LayoutView GetV();
    // Switches the chip map only; image and block reader stay.
    /// Switches the layout; image and block reader stay.
    void SelectLayout(Layout chip) { layout = chip; }
    /// Whether the layout is the ax88179 one.
    bool IsAx88179() const { return std::holds_alternative<EEPROM_ax88179>(layout); }

    /// The layout's EEPROM magic.
    std::uint32_t GetEepromMagic() const;
    /// The layout's address of the base's charge-fault byte.
    std::uint32_t GetBaseChargeFaultAddress() const;
    /// The layout's address of the camera's charge-status byte.
    std::uint32_t GetCameraChargeStatusAddress() const;
    /// Start of the configuration block (128).
    std::uint32_t GetPMXDataStartAddress() const;
    /// Size of the configuration block (364).
    std::uint32_t GetPMXDataSize() const;
    /// Address of the configuration's checksum (510; not checked).
    std::uint32_t GetPMXDataCRCAddress() const;
    /// Size of that checksum (2).
    std::uint32_t GetPMXDataCRCSize() const;

    /// The register write that shows `status` on the current layout's cradle; writes nothing.
    UploadStatusLed SetUploadStatus(DockProtoIF::UploadStatus status) const;
    /// The base's charge-fault byte from the copy (DockProtoIF::GetChargeFault()
    /// reads the device).
    // From the copy in memory, not from the device.
    unsigned char GetChargeFault() const;
    /// Stores the camera's charge-status byte in the copy.
    /// \return its EEPROM address.
    // Stores the byte in memory and returns where it belongs.
    std::uint32_t SetChargeStatus(unsigned char status);

    /// The request header of a whole-EEPROM read; the kernel fills the image
    /// right behind it.
    // The request header of a whole-EEPROM read; the kernel fills image behind it.
    EepromRequestHeader& GetRequest() { return request; }
    /// The EEPROM copy.
    Image& GetImage() { return image; }
    /// The EEPROM copy.
    const Image& GetImage() const { return image; }
    /// Image byte 128, where the block handshake delivers the configuration.
    // Where the block handshake delivers the configuration.
    unsigned char* GetConfigurationArea() { return image.data() + kConfigurationOffset; }

    /// The block reader.
    BlockProto& GetBlockProto() { return *blockProto; }
    /// The block reader.
    const BlockProto& GetBlockProto() const { return *blockProto; }
    /// Replaces the block reader (the protocol object gives it its environment).
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
