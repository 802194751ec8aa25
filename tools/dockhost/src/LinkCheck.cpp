#include "LinkCheck.h"

#include <FileDescriptor/FileDescriptor.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace dockhost {
namespace {

// The drivers of the two adapter chips that cradles carry.
constexpr const char* kKnownDrivers[] = {"ax88179_178a", "lan78xx"};

}  // namespace

std::string MissingInterface(const std::string& interfaceName) {
    return ::if_nametoindex(interfaceName.c_str()) == 0 ? "no " + interfaceName + " interface" : "";
}

std::string MissingAddress(const std::string& interfaceName, const std::string& address) {
    if (auto missing = MissingInterface(interfaceName); !missing.empty()) {
        return missing;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return "cannot list the addresses of " + interfaceName + ": " + std::strerror(errno);
    }
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owned(list, ::freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || interfaceName != entry->ifa_name) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) && address == text) {
            return "";
        }
    }
    return "no address " + address + " on " + interfaceName;
}

std::string MissingListener(const std::string& address, int port, std::chrono::milliseconds limit) {
    const std::string where = address + ":" + std::to_string(port);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) {
        return "no IPv4 address in " + where;
    }
    tvo::FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        return std::string("no socket: ") + std::strerror(errno);
    }
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        return "";
    }
    if (errno != EINPROGRESS) {
        return "nothing answering at " + where + " (" + std::strerror(errno) + ")";
    }
    pollfd watched{socket.Get(), POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&watched, 1, static_cast<int>(limit.count())) != 1 ||
        ::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        return "nothing answering at " + where + (error ? std::string(" (") + std::strerror(error) + ")" : "");
    }
    return "";
}

std::string MissingAdapter(const std::string& interfaceName) {
    const std::string missing = "no " + interfaceName + " adapter of a known chip (ax88179, lan7850)";
    if (!MissingInterface(interfaceName).empty()) {
        return missing;
    }
    tvo::FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq request{};
    interfaceName.copy(request.ifr_name, sizeof request.ifr_name - 1);
    request.ifr_data = reinterpret_cast<char*>(&info);
    if (!socket.IsOpen() || ::ioctl(socket.Get(), SIOCETHTOOL, &request) != 0) {
        return missing;
    }
    const std::string driver(info.driver, ::strnlen(info.driver, sizeof info.driver));
    for (const char* known : kKnownDrivers) {
        if (driver == known) {
            return "";
        }
    }
    return missing + ", driver " + (driver.empty() ? "unknown" : driver);
}

std::string MissingForVelta(const tvo::VeltaEnvironment& velta, std::chrono::milliseconds limit) {
    if (auto missing = MissingAddress(velta.gadgetInterface, velta.listenAddress); !missing.empty()) {
        return missing;
    }
    return MissingListener(velta.baseAddress, velta.basePort, limit);
}

}  // namespace dockhost
