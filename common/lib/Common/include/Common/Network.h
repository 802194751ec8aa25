#pragma once
// Interface queries and IPv4 text helpers.

#include <Common/Export.h>
#include "Common/LinuxApi.h"

#include <gsl/span>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tvo {

// Interface queries. The forms without a LinuxApiIF use LinuxApi(); the others
// let tests fake the ioctls. Names that do not fit an ifreq (IFNAMSIZ - 1
// characters) or are empty give the failure result without an ioctl.

// The Ethernet hardware address (6 bytes); empty on failure or when the
// interface has no Ethernet address.
PMX_COMMON_API std::vector<std::byte> GetInterfaceMAC(std::string_view ifname);
PMX_COMMON_API std::vector<std::byte> GetInterfaceMAC(std::string_view ifname, LinuxApiIF& api);

// True when the interface exists and is administratively up.
PMX_COMMON_API bool IsInterfaceUp(std::string_view ifname);
PMX_COMMON_API bool IsInterfaceUp(std::string_view ifname, LinuxApiIF& api);

// The dotted IPv4 address; "" when the interface has none or cannot be read.
PMX_COMMON_API std::string GetInterfaceIp(std::string_view ifname);
PMX_COMMON_API std::string GetInterfaceIp(std::string_view ifname, LinuxApiIF& api);

// "aa:bb:cc:00:11:22": lowercase, colon-separated.
PMX_COMMON_API std::string FormatMacAddress(gsl::span<const std::byte, 6> mac);

// IPv4 numbers are in_addr::s_addr values as a little-endian machine holds
// them: "1.2.3.4" <-> 0x04030201. Storing the number least significant byte
// first therefore yields the address bytes in network order. The conversion
// uses shifts, so the result is the same on any host.
PMX_COMMON_API std::string Ip4IntToString(unsigned int address);
// Accepts exactly four decimal parts 0-255 separated by dots, as inet_pton
// does (no spaces, no leading zeros, nothing trailing). Throws
// std::invalid_argument("invalid IPv4 address: '<text>'") otherwise, with
// unprintable bytes of the text shown as \xNN.
PMX_COMMON_API unsigned int Ip4StringToInt(const std::string& text);

PMX_COMMON_API bool ValidIPv4Address(const std::string& text);
// 1..65535.
PMX_COMMON_API bool ValidIPv4Port(long port);

}  // namespace tvo
