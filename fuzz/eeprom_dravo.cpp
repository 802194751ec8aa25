// The Dravo dock against a cradle whose every answer comes from the fuzz
// input: driver name, whole EEPROM image, handshake headers and windows, PHY
// number and failures. The configuration that a completed handshake leaves
// must be exactly the windows the camera acknowledged, block by block, and
// the texts read from the image never exceed their fields.

#include "FuzzSupport.h"

#include <DockProtocol/DockProtoDravo.h>
#include <DockProtocol/EthtoolEeprom.h>
#include <DockProtocol/ProtocolEnvironment.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/mii.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

using tvo::DockProto::BlockProto;
using tvo::DockProto::EthtoolEeprom;

constexpr std::size_t kBlock = BlockProto::kBlockSize;

// What the fake cradle handed out and what the camera acknowledged.
struct Cradle {
    explicit Cradle(FuzzedDataProvider& input) : input(input) {}

    FuzzedDataProvider& input;
    std::array<unsigned char, kBlock> window{};
    std::array<std::optional<std::array<unsigned char, kBlock>>, BlockProto::kBlockCount> acknowledged;
};

class FuzzedLinuxApi : public tvo::LinuxApiIF {
public:
    explicit FuzzedLinuxApi(Cradle& cradle) : cradle(cradle) {}

    int ioctl(int, unsigned long request, char* arg) override {
        auto& input = cradle.input;
        // Out of input, or one in sixteen: the device fails.
        if (input.remaining_bytes() == 0 || (input.ConsumeIntegral<std::uint8_t>() & 0x0F) == 0) {
            errno = EIO;
            return -1;
        }
        auto* interfaceRequest = reinterpret_cast<ifreq*>(arg);
        if (request == SIOCGMIIPHY) {
            mii_ioctl_data mii;
            std::memcpy(&mii, &interfaceRequest->ifr_ifru, sizeof mii);
            mii.phy_id = input.ConsumeIntegral<std::uint16_t>();
            std::memcpy(&interfaceRequest->ifr_ifru, &mii, sizeof mii);
            return 0;
        }
        if (request == SIOCSMIIREG) {
            return 0;
        }
        if (request != SIOCETHTOOL) {
            errno = EINVAL;
            return -1;
        }
        char* data = interfaceRequest->ifr_data;
        std::uint32_t command;
        std::memcpy(&command, data, sizeof command);
        if (command == ETHTOOL_GDRVINFO) {
            return DriverInfo(data);
        }
        if (command == ETHTOOL_GEEPROM || command == ETHTOOL_SEEPROM) {
            return Eeprom(command, data);
        }
        errno = EOPNOTSUPP;
        return -1;
    }

private:
    int DriverInfo(char* data) {
        ethtool_drvinfo info;
        std::memcpy(&info, data, sizeof info);
        const auto kind = cradle.input.ConsumeIntegral<std::uint8_t>() % 3;
        std::memset(info.driver, 0, sizeof info.driver);
        if (kind == 0) {
            std::strcpy(info.driver, "ax88179_178a");
        } else if (kind == 1) {
            std::strcpy(info.driver, "lan78xx");
        } else {
            // A faulty driver: any bytes, maybe without the terminating NUL.
            const auto bytes = cradle.input.ConsumeBytes<char>(sizeof info.driver);
            std::copy(bytes.begin(), bytes.end(), info.driver);
        }
        std::memcpy(data, &info, sizeof info);
        return 0;
    }

    // The kernel trusts len: so does the fake, and ASan checks the buffer.
    int Eeprom(std::uint32_t command, char* data) {
        ethtool_eeprom header;
        std::memcpy(&header, data, sizeof header);
        auto* payload = reinterpret_cast<unsigned char*>(data + sizeof header);
        if (command == ETHTOOL_SEEPROM) {
            volatile unsigned char sum = 0;
            for (std::uint32_t i = 0; i < header.len; ++i) {
                sum = sum + payload[i];
            }
            if (header.offset == BlockProto::kHeaderAddress && header.len >= 1 &&
                (payload[0] & BlockProto::kReadComplete) != 0 && (payload[0] & BlockProto::kResync) == 0) {
                const auto block = payload[0] & BlockProto::kBlockIdMask;
                if (block < BlockProto::kBlockCount) {
                    cradle.acknowledged[block] = cradle.window;
                }
            }
            return 0;
        }
        auto bytes = cradle.input.ConsumeBytes<unsigned char>(header.len);
        bytes.resize(header.len);
        if (header.len > 0) {
            std::memcpy(payload, bytes.data(), header.len);
        }
        if (header.offset == BlockProto::kWindowAddress && header.len == kBlock) {
            std::memcpy(cradle.window.data(), bytes.data(), kBlock);
        }
        return 0;
    }

    Cradle& cradle;
};

int devNull = -1;

void CheckServerInfo(const tvo::DockProtoIF::ServerInfo& info) {
    using tvo::fuzz::Require;
    Require(info.primaryServerUrl.size() <= 128 && info.secondaryServerUrl.size() <= 128,
            "a server name longer than its field");
    Require(info.roomDescription.size() <= 32 && info.stationId.size() <= 32,
            "a room or station longer than its field");
    Require(info.tenantId.size() == 36, "a tenant id not of 36 characters");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Cradle cradle(input);

    tvo::ProtocolEnvironment environment;
    environment.system.makeLinuxApi = [&cradle] { return std::make_unique<FuzzedLinuxApi>(cradle); };
    environment.system.openIoctlSocket = [] { return tvo::FileDescriptor(::dup(devNull)); };
    environment.system.sleep = [](std::chrono::nanoseconds) {};
    environment.system.interfaceMac = [&input](std::string_view) {
        auto bytes = input.ConsumeBytes<std::byte>(input.ConsumeBool() ? 6 : 5);
        return bytes;
    };
    environment.system.interfaceUp = [](std::string_view) { return true; };
    environment.system.interfaceIp = [](std::string_view) { return std::string("127.0.0.2"); };

    auto owned = std::make_unique<EthtoolEeprom>();
    EthtoolEeprom* eeprom = owned.get();
    tvo::DockProtoDravo dravo(environment, std::move(owned));

    using RC = tvo::DockProtoIF::ReturnCode;
    RC state = dravo.SayHello();
    for (int round = 0; state == RC::InProgress && round < 32; ++round) {
        state = dravo.BlockProtocol();
    }
    if (state == RC::Ok && eeprom->IsAx88179()) {
        const unsigned char* area = eeprom->GetConfigurationArea();
        for (std::size_t block = 0; block < BlockProto::kBlockCount; ++block) {
            tvo::fuzz::Require(cradle.acknowledged[block].has_value(), "a block taken without acknowledgement");
            tvo::fuzz::Require(std::memcmp(area + block * kBlock, cradle.acknowledged[block]->data(), kBlock) == 0,
                               "a block is not the window the camera acknowledged");
        }
    }
    dravo.ProvisionNetwork();
    const auto info = dravo.GetServerInfo();
    if (info.code == RC::Ok) {
        CheckServerInfo(info.value);
    }
    dravo.SetUploadStatus(static_cast<tvo::DockProtoIF::UploadStatus>(input.ConsumeIntegral<std::uint8_t>()));
    dravo.SetChargeStatus(static_cast<tvo::DockProtoIF::ChargeStatus>(input.ConsumeIntegral<std::uint8_t>()));
    dravo.GetChargeFault();
    dravo.CheckNetwork();
    return 0;
}
