#include <DockProtocol/EthtoolEeprom.h>

#include "InterfaceRequest.h"

#include <Common/Network.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <Logger/LogClient.h>

#include <linux/ethtool.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace tvo::DockProto {
namespace {

// Lines of this file have always named it without its extension; log readers match on that.
constexpr std::string_view kLogSource = "common/lib/DockProtocol/src/EthtoolEeprom";

constexpr auto kDetail = LogLevel::Detail;

static_assert(sizeof(PmxConfig) == 364, "the cradle's configuration block is 364 bytes");
static_assert(offsetof(PmxConfig, formatByte) == 256 && offsetof(PmxConfig, ipAddress) == 258 &&
              offsetof(PmxConfig, port) == 274 && offsetof(PmxConfig, primaryServer) == 276 &&
              offsetof(PmxConfig, roomDescription) == 284 && offsetof(PmxConfig, stationId) == 316 &&
              offsetof(PmxConfig, tenantIdBytes) == 348);

static_assert(sizeof(EepromRequestHeader) == sizeof(ethtool_eeprom) &&
              offsetof(EepromRequestHeader, cmd) == offsetof(ethtool_eeprom, cmd) &&
              offsetof(EepromRequestHeader, magic) == offsetof(ethtool_eeprom, magic) &&
              offsetof(EepromRequestHeader, offset) == offsetof(ethtool_eeprom, offset) &&
              offsetof(EepromRequestHeader, len) == offsetof(ethtool_eeprom, len));

// The kernel fills a whole-EEPROM read right behind the request header, so the
// image must follow it without a gap.
struct ReadBuffer {
    EepromRequestHeader request;
    EthtoolEeprom::Image image;
};
static_assert(offsetof(ReadBuffer, image) == sizeof(EepromRequestHeader));

// Upload status 0..5 to the cradle's LED pattern; anything else shows the last one.
struct LedPattern {
    std::uint16_t lan7850;
    std::uint16_t ax88179;
};
constexpr LedPattern kLedPatterns[] = {
    {0x0EFE, 0x884C}, {0x0EEA, 0x89A2}, {0x0EEF, 0x8982}, {0x0EEF, 0x8982},
    {0x0FEE, 0xB042}, {0x0EFE, 0x884C}, {0x0EEE, 0x8842},
};

const LedPattern& PatternOf(DockProtoIF::UploadStatus status) {
    const auto index = static_cast<std::uint32_t>(status);
    return kLedPatterns[std::min<std::uint32_t>(index, std::size(kLedPatterns) - 1)];
}

template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

}  // namespace

// ---- PmxConfig ----

std::string PmxConfig::GetTenantId() const {
    static const char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < sizeof tenantIdBytes; ++i) {
        text += hex[tenantIdBytes[i] >> 4];
        text += hex[tenantIdBytes[i] & 0x0F];
        if (i == 3 || i == 5 || i == 7 || i == 9) {
            text += '-';
        }
    }
    return text;
}

void PmxConfig::Store32(unsigned char* field, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        field[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void PmxConfig::Store16(unsigned char* field, std::uint16_t value) {
    field[0] = static_cast<unsigned char>(value);
    field[1] = static_cast<unsigned char>(value >> 8);
}

std::string PmxConfig::Text(const char* field, std::size_t width) {
    const void* end = std::memchr(field, '\0', width);
    return std::string(field, end ? static_cast<const char*>(end) - field : width);
}

// ---- chip maps ----

UploadStatusLed EEPROM_lan7850::SetUploadStatus(DockProtoIF::UploadStatus status) const {
    return {PatternOf(status).lan7850, kUploadStatusRegister};
}

UploadStatusLed EEPROM_ax88179::SetUploadStatus(DockProtoIF::UploadStatus status) const {
    PMX_LOG_AS(kLogSource, LogLevel::Info, kLogCategoryDock) << "status: " << static_cast<std::uint32_t>(status);
    return {PatternOf(status).ax88179, kUploadStatusRegister};
}

// ---- BlockProto ----

BlockProto::BlockProto(std::unique_ptr<LinuxApiIF> api, unsigned char* destination)
    : BlockProto(std::move(api), destination, ProtocolEnvironment::Production()) {}

BlockProto::BlockProto(std::unique_ptr<LinuxApiIF> api, unsigned char* destination,
                       const ProtocolEnvironment& environment)
    : api(std::move(api)),
      openSocket(environment.system.openIoctlSocket),
      destination(destination),
      interfaceName(environment.dravo.interfaceName),
      sleep(environment.system.sleep) {}

BlockProto::~BlockProto() = default;

int BlockProto::Transfer(std::uint32_t command, std::uint32_t offset, unsigned char* data, std::uint32_t length) {
    if (!socket.IsOpen() && openSocket) {
        socket = openSocket();
    }
    return EepromTransfer(*api, socket.Get(), interfaceName, command, kMagic, offset, data, length);
}

BlockHeader BlockProto::GetBlockHeader() {
    unsigned char word[2] = {};
    BlockHeader header;
    const int result = Transfer(ETHTOOL_GEEPROM, kHeaderAddress, word, sizeof word);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
    } else {
        header.valid = true;
        header.blockid = word[0] & kBlockIdMask;
        header.lastblk = (word[0] & kLastBlock) != 0;
        header.bwcReadComplete = (word[0] & kReadComplete) != 0;
        header.resync = (word[0] & kResync) != 0;
    }
    PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock)
        << "valid: " << header.valid << " blockid: " << header.blockid << " lastblk: " << header.lastblk
        << " bwcReadComplete: " << header.bwcReadComplete << " resync: " << header.resync;
    return header;
}

bool BlockProto::SetBlockHeader(unsigned short blockid, bool lastblk, bool bwcReadComplete, bool resync) {
    unsigned char word[2] = {static_cast<unsigned char>((blockid & kBlockIdMask) | (lastblk ? kLastBlock : 0) |
                                                        (bwcReadComplete ? kReadComplete : 0) | (resync ? kResync : 0)),
                             0};
    PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock)
        << "blockid: " << blockid << " lastblk: " << int{lastblk} << " bwcReadComplete: " << int{bwcReadComplete}
        << " resync: " << int{resync};
    const int result = Transfer(ETHTOOL_SEEPROM, kHeaderAddress, word, sizeof word);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return false;
    }
    return true;
}

bool BlockProto::SetCounter() {
    ++counter;
    PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "count: " << counter;
    unsigned char word[2];
    PmxConfig::Store16(word, counter);
    const int result = Transfer(ETHTOOL_SEEPROM, kCounterAddress, word, sizeof word);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return false;
    }
    return true;
}

bool BlockProto::GetBlock() {
    if (Complete()) {
        // The destination holds six blocks; a seventh has nowhere to go.
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "transfer already complete";
        return false;
    }
    unsigned char block[kBlockSize];
    const int result = Transfer(ETHTOOL_GEEPROM, kWindowAddress, block, sizeof block);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return false;
    }
    unsigned char* target = destination + static_cast<std::size_t>(kBlockSize) * currentBlock;
    std::memcpy(target, block, sizeof block);
    PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock)
        << "blocknum: " << currentBlock << " source: " << static_cast<const void*>(block)
        << " dest: " << static_cast<const void*>(target);
    return SetBlockHeader(currentBlock, false, true, false);
}

std::optional<bool> BlockProto::CheckAndResync() {
    PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "currentBlockCount: " << currentBlock;
    std::optional<BlockHeader> ready;
    for (int retry = kAttempts; retry > 0; --retry) {
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "retry: " << retry;
        const BlockHeader header = GetBlockHeader();
        if (!header.valid) {
            return std::nullopt;
        }
        if (!header.bwcReadComplete && !header.resync) {
            ready = header;
            break;
        }
        if (!SetCounter()) {
            return std::nullopt;
        }
        PMX_LOG_AS(kLogSource, kDetail, kLogCategoryDock) << "sleep_for: " << kRetryWait.count() << " milliseconds";
        sleep(kRetryWait);
    }
    if (!ready) {
        return std::nullopt;
    }
    if (ready->blockid != currentBlock) {
        if (!SetBlockHeader(0, false, false, true)) {
            return std::nullopt;
        }
        return true;
    }
    return false;
}

bool BlockProto::Start() {
    currentBlock = 0;
    const auto resynced = CheckAndResync();
    if (!resynced) {
        return false;
    }
    if (!*resynced) {
        if (!GetBlock()) {
            return false;
        }
        currentBlock = 1;
    }
    return true;
}

bool BlockProto::GetNext() {
    if (Complete()) {
        // Asking again after the last block changes nothing.
        return true;
    }
    const auto resynced = CheckAndResync();
    if (!resynced) {
        return false;
    }
    if (*resynced) {
        return true;
    }
    if (!GetBlock()) {
        return false;
    }
    ++currentBlock;
    return true;
}

// ---- EthtoolEeprom ----

EthtoolEeprom::EthtoolEeprom() : blockProto(std::make_unique<BlockProto>(LinuxApi(), GetConfigurationArea())) {}

EthtoolEeprom::EthtoolEeprom(unsigned int cmd, unsigned int offset, unsigned int len,
                             std::array<std::string_view, 2> servers, unsigned char formatByte, unsigned char flags,
                             std::string_view ip, std::string_view netmask, std::string_view gateway,
                             std::string_view dns, unsigned short port, std::string_view roomDescription,
                             std::string_view stationId, std::array<std::byte, 16> tenantId,
                             unsigned char baseChargeFault, unsigned char cameraChargeStatus)
    : request{cmd, 0, offset, len} {
    PmxConfig& config = *GetPmxConfig();
    if (flags & PmxConfig::kFlagServersByName) {
        CopyText(config.primaryHost, servers[0]);
        CopyText(config.secondaryHost, servers[1]);
    } else {
        PmxConfig::Store32(config.primaryServer, Ip4StringToInt(std::string(servers[0])));
        PmxConfig::Store32(config.secondaryServer, Ip4StringToInt(std::string(servers[1])));
    }
    config.formatByte = formatByte;
    config.flags = flags;
    PmxConfig::Store32(config.ipAddress, Ip4StringToInt(std::string(ip)));
    PmxConfig::Store32(config.netmask, Ip4StringToInt(std::string(netmask)));
    PmxConfig::Store32(config.gateway, Ip4StringToInt(std::string(gateway)));
    PmxConfig::Store32(config.dns, Ip4StringToInt(std::string(dns)));
    PmxConfig::Store16(config.port, port);
    CopyText(config.roomDescription, roomDescription);
    CopyText(config.stationId, stationId);
    std::memcpy(config.tenantIdBytes, tenantId.data(), tenantId.size());
    image[GetBaseChargeFaultAddress()] = baseChargeFault;
    image[GetCameraChargeStatusAddress()] = cameraChargeStatus;
    blockProto = std::make_unique<BlockProto>(LinuxApi(), GetConfigurationArea());
}

EthtoolEeprom::~EthtoolEeprom() = default;

PmxConfig* EthtoolEeprom::GetPmxConfig() {
    return reinterpret_cast<PmxConfig*>(image.data() + kConfigurationOffset);
}

const PmxConfig* EthtoolEeprom::GetPmxConfig() const {
    return reinterpret_cast<const PmxConfig*>(image.data() + kConfigurationOffset);
}

EthtoolEeprom::LayoutView EthtoolEeprom::GetV() {
    if (auto* lan = std::get_if<EEPROM_lan7850>(&layout)) {
        return lan;
    }
    return &std::get<EEPROM_ax88179>(layout);
}

std::uint32_t EthtoolEeprom::GetEepromMagic() const {
    return std::visit([](const auto& chip) { return chip.kEepromMagic; }, layout);
}

std::uint32_t EthtoolEeprom::GetBaseChargeFaultAddress() const {
    return std::visit([](const auto& chip) { return chip.kBaseChargeFaultAddress; }, layout);
}

std::uint32_t EthtoolEeprom::GetCameraChargeStatusAddress() const {
    return std::visit([](const auto& chip) { return chip.kCameraChargeStatusAddress; }, layout);
}

std::uint32_t EthtoolEeprom::GetPMXDataStartAddress() const {
    return std::visit([](const auto& chip) { return chip.kPmxDataStartAddress; }, layout);
}

std::uint32_t EthtoolEeprom::GetPMXDataSize() const {
    return std::visit([](const auto& chip) { return chip.kPmxDataSize; }, layout);
}

std::uint32_t EthtoolEeprom::GetPMXDataCRCAddress() const {
    return std::visit([](const auto& chip) { return chip.kPmxDataCrcAddress; }, layout);
}

std::uint32_t EthtoolEeprom::GetPMXDataCRCSize() const {
    return std::visit([](const auto& chip) { return chip.kPmxDataCrcSize; }, layout);
}

UploadStatusLed EthtoolEeprom::SetUploadStatus(DockProtoIF::UploadStatus status) const {
    return std::visit([status](const auto& chip) { return chip.SetUploadStatus(status); }, layout);
}

unsigned char EthtoolEeprom::GetChargeFault() const {
    return image[GetBaseChargeFaultAddress()];
}

std::uint32_t EthtoolEeprom::SetChargeStatus(unsigned char status) {
    const auto address = GetCameraChargeStatusAddress();
    image[address] = status;
    return address;
}

void EthtoolEeprom::SetBlockProto(std::unique_ptr<BlockProto> reader) {
    blockProto = std::move(reader);
}

}  // namespace tvo::DockProto
