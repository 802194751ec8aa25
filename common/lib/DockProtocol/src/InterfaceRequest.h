#pragma once
// The ifreq-based requests through which the Dravo code reaches the cradle's
// adapter. Each returns what LinuxApiIF::ioctl returned (0 on success).

#include <Common/LinuxApi.h>

#include <linux/mii.h>

#include <cstdint>
#include <string_view>

namespace tvo::DockProto {

// SIOCETHTOOL with an ethtool request whose buffer the caller owns.
int EthtoolRequest(LinuxApiIF& api, int fd, std::string_view interfaceName, void* request);

// ETHTOOL_GEEPROM / ETHTOOL_SEEPROM of length bytes, built in a fresh
// zero-filled buffer; reads copy the answer to data, writes send data.
int EepromTransfer(LinuxApiIF& api, int fd, std::string_view interfaceName, std::uint32_t command, std::uint32_t magic,
                   std::uint32_t offset, unsigned char* data, std::uint32_t length);

// SIOCGMIIPHY / SIOCSMIIREG: the MII data travels inside the ifreq.
int MiiRequest(LinuxApiIF& api, int fd, std::string_view interfaceName, unsigned long request, mii_ioctl_data& data);

}  // namespace tvo::DockProto
