#include <DockSim/DravoAdapter.h>

#include <arpa/inet.h>
#include <linux/ethtool.h>
#include <linux/mii.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace tvo::DockSim {
namespace {

int Fail(int error) {
    errno = error;
    return -1;
}

}  // namespace

std::string_view ChipName(DravoChip chip) {
    return chip == DravoChip::Ax88179 ? "ax88179" : "lan7850";
}

std::optional<DravoChip> ParseChip(std::string_view name) {
    if (name == "ax88179") {
        return DravoChip::Ax88179;
    }
    if (name == "lan7850") {
        return DravoChip::Lan7850;
    }
    return std::nullopt;
}

std::size_t DravoAdapter::EepromSize(DravoChip chip) {
    return chip == DravoChip::Ax88179 ? 256 : 512;
}

std::uint32_t DravoAdapter::Magic(DravoChip chip) {
    return chip == DravoChip::Ax88179 ? 0x17900B95 : 0x78A5;
}

std::string_view DravoAdapter::Driver(DravoChip chip) {
    return chip == DravoChip::Ax88179 ? "ax88179_178a" : "lan78xx";
}

std::uint16_t DravoAdapter::PhyAddress(DravoChip chip) {
    return chip == DravoChip::Ax88179 ? 3 : 1;
}

DravoAdapter::DravoAdapter(DravoAdapterSettings settings)
    : settings(std::move(settings)), eeprom(EepromSize(this->settings.chip)) {}

unsigned DravoAdapter::Requests(unsigned long request) const {
    return static_cast<unsigned>(std::count(requestLog.begin(), requestLog.end(), request));
}

void DravoAdapter::ClearRecords() {
    phyWrites.clear();
    eepromWrites.clear();
    requestLog.clear();
}

int DravoAdapter::Ioctl(int fd, unsigned long request, char* arg) {
    if (fd < 0) {
        return Fail(EBADF);
    }
    if (arg == nullptr) {
        return Fail(EFAULT);
    }
    requestLog.push_back(request);
    if (settings.failRequest && *settings.failRequest == requestLog.size()) {
        return Fail(settings.failErrno);
    }

    ifreq req;
    std::memcpy(&req, arg, sizeof req);
    const std::string_view name(req.ifr_name, strnlen(req.ifr_name, IFNAMSIZ));
    if (request != SIOCETHTOOL && request != SIOCGMIIPHY && request != SIOCGMIIREG && request != SIOCSMIIREG &&
        request != SIOCGIFHWADDR && request != SIOCGIFFLAGS && request != SIOCGIFADDR) {
        return Fail(ENOTTY);
    }
    if (name != settings.interfaceName) {
        return Fail(ENODEV);
    }

    auto* mii = reinterpret_cast<mii_ioctl_data*>(&req.ifr_ifru);
    switch (request) {
        case SIOCETHTOOL: return Ethtool(req.ifr_data);
        case SIOCGMIIPHY: mii->phy_id = PhyAddress(settings.chip); [[fallthrough]];
        case SIOCGMIIREG: mii->val_out = phyRegisters[(std::uint32_t{mii->phy_id} << 16) | mii->reg_num]; break;
        case SIOCSMIIREG:
            phyWrites.push_back({mii->phy_id, mii->reg_num, mii->val_in});
            phyRegisters[(std::uint32_t{mii->phy_id} << 16) | mii->reg_num] = mii->val_in;
            break;
        case SIOCGIFHWADDR:
            req.ifr_hwaddr.sa_family = ARPHRD_ETHER;
            std::memcpy(req.ifr_hwaddr.sa_data, settings.mac.data(), settings.mac.size());
            break;
        case SIOCGIFFLAGS:
            req.ifr_flags =
                static_cast<short>(IFF_BROADCAST | IFF_MULTICAST | (settings.up ? IFF_UP | IFF_RUNNING : 0));
            break;
        case SIOCGIFADDR: {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            if (settings.ipAddress.empty() || inet_pton(AF_INET, settings.ipAddress.c_str(), &address.sin_addr) != 1) {
                return Fail(EADDRNOTAVAIL);
            }
            std::memcpy(&req.ifr_addr, &address, sizeof address);
            break;
        }
    }
    std::memcpy(arg, &req, sizeof req);
    return 0;
}

int DravoAdapter::Ethtool(char* user) {
    if (user == nullptr) {
        return Fail(EFAULT);
    }
    std::uint32_t command;
    std::memcpy(&command, user, sizeof command);
    switch (command) {
        case ETHTOOL_GDRVINFO: {
            ethtool_drvinfo info{};
            info.cmd = command;
            const std::string driver(settings.driverName.value_or(std::string(Driver(settings.chip))));
            std::memcpy(info.driver, driver.data(), std::min(driver.size(), sizeof info.driver));
            std::strcpy(info.version, "emulated");
            std::strcpy(info.bus_info, "usb-0000:00:14.0-1");
            info.eedump_len = static_cast<std::uint32_t>(eeprom.size());
            std::memcpy(user, &info, sizeof info);
            return 0;
        }
        case ETHTOOL_GEEPROM: return EepromAccess(user, false);
        case ETHTOOL_SEEPROM: return EepromAccess(user, true);
        default: return Fail(EOPNOTSUPP);
    }
}

int DravoAdapter::EepromAccess(char* user, bool write) {
    ethtool_eeprom header;
    std::memcpy(&header, user, sizeof header);
    // The kernel's checks: no wrap, no empty request, nothing past the end.
    const std::uint32_t end = header.offset + header.len;
    if (end <= header.offset || end > eeprom.size()) {
        return Fail(EINVAL);
    }
    unsigned char* data = reinterpret_cast<unsigned char*>(user) + sizeof header;
    if (!write) {
        std::memcpy(data, eeprom.data() + header.offset, header.len);
        header.magic = Magic(settings.chip);
        std::memcpy(user, &header, sizeof header);
        return 0;
    }
    // Both drivers refuse a write that does not carry their magic.
    if (header.magic != Magic(settings.chip)) {
        return Fail(EINVAL);
    }
    std::memcpy(eeprom.data() + header.offset, data, header.len);
    eepromWrites.push_back({header.offset, std::vector<unsigned char>(data, data + header.len)});
    if (writeListener) {
        writeListener(header.offset, header.len);
    }
    return 0;
}

}  // namespace tvo::DockSim
