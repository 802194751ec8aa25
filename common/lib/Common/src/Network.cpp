#include "Common/Network.h"

#include "Logger/LogClient.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tvo {
namespace {

// Fills req for ifname and runs one query ioctl on a fresh socket; logs and
// returns false on any failure. errno survives for the caller's decision.
bool QueryInterface(std::string_view ifname, unsigned long request, const char* requestName, LinuxApiIF& api,
                    ifreq& req, LogLevel failureLevel = LogLevel::Warning) {
    if (ifname.empty() || ifname.size() >= IFNAMSIZ) {
        PMX_LOG(LogLevel::Warning, kLogCategoryDock)
            << "invalid interface name '" << ifname << "' (1 to " << IFNAMSIZ - 1 << " characters)";
        return false;
    }
    req = ifreq{};
    std::memcpy(req.ifr_name, ifname.data(), ifname.size());

    const FileDescriptor socket = OpenIoctlSocket();
    if (!socket.IsOpen()) {
        return false;
    }
    if (api.ioctl(socket.Get(), request, reinterpret_cast<char*>(&req)) != 0) {
        const int error = errno;
        PMX_LOG(failureLevel, kLogCategoryDock) << ifname << ": " << requestName << " failed: " << std::strerror(error);
        errno = error;
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::byte> GetInterfaceMAC(std::string_view ifname) {
    return GetInterfaceMAC(ifname, *LinuxApi());
}

std::vector<std::byte> GetInterfaceMAC(std::string_view ifname, LinuxApiIF& api) {
    ifreq req{};
    if (!QueryInterface(ifname, SIOCGIFHWADDR, "SIOCGIFHWADDR", api, req)) {
        return {};
    }
    // Only Ethernet-style hardware carries a 6-byte address in sa_data;
    // loopback and tunnels report zeros or nothing meaningful.
    const auto family = req.ifr_hwaddr.sa_family;
    if (family != ARPHRD_ETHER && family != ARPHRD_IEEE802) {
        PMX_LOG(LogLevel::Detail, kLogCategoryDock)
            << ifname << ": no Ethernet address (hardware type " << family << ")";
        return {};
    }
    std::vector<std::byte> mac(6);
    std::memcpy(mac.data(), req.ifr_hwaddr.sa_data, mac.size());
    return mac;
}

bool IsInterfaceUp(std::string_view ifname) {
    return IsInterfaceUp(ifname, *LinuxApi());
}

bool IsInterfaceUp(std::string_view ifname, LinuxApiIF& api) {
    ifreq req{};
    if (!QueryInterface(ifname, SIOCGIFFLAGS, "SIOCGIFFLAGS", api, req)) {
        return false;
    }
    return (req.ifr_flags & IFF_UP) != 0;
}

std::string GetInterfaceIp(std::string_view ifname) {
    return GetInterfaceIp(ifname, *LinuxApi());
}

std::string GetInterfaceIp(std::string_view ifname, LinuxApiIF& api) {
    ifreq req{};
    // An interface without an address is an ordinary state, not a fault.
    if (!QueryInterface(ifname, SIOCGIFADDR, "SIOCGIFADDR", api, req, LogLevel::Detail)) {
        return {};
    }
    if (req.ifr_addr.sa_family != AF_INET) {
        return {};
    }
    sockaddr_in address{};
    std::memcpy(&address, &req.ifr_addr, sizeof address);
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
        return {};
    }
    return text;
}

std::string FormatMacAddress(gsl::span<const std::byte, 6> mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", std::to_integer<unsigned>(mac[0]),
                  std::to_integer<unsigned>(mac[1]), std::to_integer<unsigned>(mac[2]),
                  std::to_integer<unsigned>(mac[3]), std::to_integer<unsigned>(mac[4]),
                  std::to_integer<unsigned>(mac[5]));
    return text;
}

}  // namespace tvo
