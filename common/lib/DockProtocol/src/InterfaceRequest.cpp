#include "InterfaceRequest.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tvo::DockProto {
namespace {

// A name that does not fit would address another interface once truncated.
bool NameRequest(ifreq& request, std::string_view interfaceName) {
    if (interfaceName.empty() || interfaceName.size() >= IFNAMSIZ) {
        errno = ENODEV;
        return false;
    }
    std::memcpy(request.ifr_name, interfaceName.data(), interfaceName.size());
    return true;
}

}  // namespace

int EthtoolRequest(LinuxApiIF& api, int fd, std::string_view interfaceName, void* request) {
    ifreq interfaceRequest{};
    if (!NameRequest(interfaceRequest, interfaceName)) {
        return -1;
    }
    interfaceRequest.ifr_data = static_cast<char*>(request);
    return api.ioctl(fd, SIOCETHTOOL, reinterpret_cast<char*>(&interfaceRequest));
}

int EepromTransfer(LinuxApiIF& api, int fd, std::string_view interfaceName, std::uint32_t command, std::uint32_t magic,
                   std::uint32_t offset, unsigned char* data, std::uint32_t length) {
    std::vector<unsigned char> buffer(sizeof(ethtool_eeprom) + length);
    const ethtool_eeprom header{command, magic, offset, length};
    std::memcpy(buffer.data(), &header, sizeof header);
    if (command == ETHTOOL_SEEPROM) {
        std::memcpy(buffer.data() + sizeof header, data, length);
    }
    const int result = EthtoolRequest(api, fd, interfaceName, buffer.data());
    if (result == 0 && command == ETHTOOL_GEEPROM) {
        std::memcpy(data, buffer.data() + sizeof header, length);
    }
    return result;
}

int MiiRequest(LinuxApiIF& api, int fd, std::string_view interfaceName, unsigned long request, mii_ioctl_data& data) {
    ifreq interfaceRequest{};
    if (!NameRequest(interfaceRequest, interfaceName)) {
        return -1;
    }
    static_assert(sizeof(mii_ioctl_data) <= sizeof(interfaceRequest.ifr_ifru));
    std::memcpy(&interfaceRequest.ifr_ifru, &data, sizeof data);
    const int result = api.ioctl(fd, request, reinterpret_cast<char*>(&interfaceRequest));
    if (result == 0) {
        std::memcpy(&data, &interfaceRequest.ifr_ifru, sizeof data);
    }
    return result;
}

}  // namespace tvo::DockProto
