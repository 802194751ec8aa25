#pragma once
// Reading and answering the ifreq-based requests that the Dravo code hands a
// mocked LinuxApiIF.

#include <Common/LinuxApi.h>
#include <DockProtocol/ProtocolEnvironment.h>

#include <gmock/gmock.h>

#include <linux/ethtool.h>
#include <linux/mii.h>
#include <net/if.h>

#include <cstring>
#include <vector>

namespace tvo::testing_support {

class MockLinuxApi : public LinuxApiIF {
public:
    MOCK_METHOD(int, ioctl, (int fd, unsigned long request, char* arg), (override));
};

inline ifreq InterfaceRequest(char* arg) {
    ifreq request;
    std::memcpy(&request, arg, sizeof request);
    return request;
}

inline ethtool_eeprom EepromHeader(char* arg) {
    ethtool_eeprom header;
    std::memcpy(&header, InterfaceRequest(arg).ifr_data, sizeof header);
    return header;
}

inline unsigned char* EepromData(char* arg) {
    return reinterpret_cast<unsigned char*>(InterfaceRequest(arg).ifr_data) + sizeof(ethtool_eeprom);
}

inline mii_ioctl_data Mii(char* arg) {
    mii_ioctl_data data;
    std::memcpy(&data, &reinterpret_cast<ifreq*>(arg)->ifr_ifru, sizeof data);
    return data;
}

// The mocked adapter answers as "eth0", the production name.
inline ProtocolEnvironment WithEthernet(ProtocolEnvironment environment) {
    environment.dravo.interfaceName = "eth0";
    return environment;
}

// An ethtool EEPROM request with this command, offset and length on "eth0".
MATCHER_P3(EepromRequest, command, offset, length, "") {
    if (std::strcmp(InterfaceRequest(arg).ifr_name, "eth0") != 0) {
        return false;
    }
    const auto header = EepromHeader(arg);
    return header.cmd == static_cast<std::uint32_t>(command) && header.offset == static_cast<std::uint32_t>(offset) &&
           header.len == static_cast<std::uint32_t>(length);
}

// Answers a read with these bytes.
inline auto Answer(std::vector<unsigned char> bytes) {
    return [bytes](int, unsigned long, char* arg) {
        std::memcpy(EepromData(arg), bytes.data(), bytes.size());
        return 0;
    };
}

// Keeps what a write sent.
inline auto Keep(std::vector<std::vector<unsigned char>>& sent) {
    return [&sent](int, unsigned long, char* arg) {
        const auto length = EepromHeader(arg).len;
        sent.emplace_back(EepromData(arg), EepromData(arg) + length);
        return 0;
    };
}

}  // namespace tvo::testing_support
