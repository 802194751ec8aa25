// A Dravo configuration to the camera's EEPROM image and back, and the check
// of what a camera made of it.

#include <DockSim/DravoImage.h>

#include <Common/Network.h>
#include <DockProtocol/EthtoolEeprom.h>

#include <linux/ethtool.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

using DockProto::PmxConfig;

// Where each chip keeps the two status bytes outside the configuration.
struct StatusBytes {
    std::uint32_t chargeFault;
    std::uint32_t chargeStatus;
};
StatusBytes StatusBytesOf(DravoChip chip) {
    return chip == DravoChip::Ax88179 ? StatusBytes{0x1C, 0x76} : StatusBytes{0x70, 0x71};
}

void CheckAddress(const char* field, const std::string& text) {
    if (!ValidIPv4Address(text)) {
        throw std::invalid_argument(std::string(field) + ": not a dotted IPv4 address: '" + text + "'");
    }
}

void CheckText(const char* field, const std::string& text, std::size_t width) {
    if (text.size() > width) {
        throw std::invalid_argument(std::string(field) + ": longer than " + std::to_string(width) + " bytes");
    }
    // The camera would stop reading at it.
    if (text.find('\0') != std::string::npos) {
        throw std::invalid_argument(std::string(field) + ": contains a NUL byte");
    }
}

std::array<std::byte, 16> TenantBytes(const std::string& text) {
    std::array<std::byte, 16> bytes{};
    const bool shaped = text.size() == 36 && text[8] == '-' && text[13] == '-' && text[18] == '-' && text[23] == '-';
    std::size_t filled = 0;
    for (std::size_t i = 0; shaped && i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            continue;
        }
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        const auto digit = std::string_view("0123456789abcdef").find(c);
        if (digit == std::string_view::npos) {
            break;
        }
        bytes[filled / 2] |= static_cast<std::byte>(filled % 2 ? digit : digit << 4);
        ++filled;
    }
    if (filled != 32) {
        throw std::invalid_argument("tenant: not a UUID (8-4-4-4-12 hexadecimal digits): '" + text + "'");
    }
    return bytes;
}

std::string Canonical(const std::string& address) {
    return Ip4IntToString(Ip4StringToInt(address));
}

template <typename T>
void Compare(std::vector<std::string>& mismatches, const char* field, const T& camera, const T& configured) {
    if (!(camera == configured)) {
        std::ostringstream text;
        text << field << ": camera " << camera << ", configured " << configured;
        mismatches.push_back(text.str());
    }
}

}  // namespace

DravoImage BuildDravoImage(const DravoConfiguration& c) {
    const std::pair<const char*, const std::string*> addresses[] = {
        {"ip", &c.ipAddress}, {"netmask", &c.netmask}, {"gateway", &c.gateway}, {"dns", &c.dns}};
    for (const auto& [field, text] : addresses) {
        CheckAddress(field, *text);
    }
    if (c.serversByName) {
        CheckText("primary-server", c.primaryServer, sizeof PmxConfig::primaryHost);
        CheckText("secondary-server", c.secondaryServer, sizeof PmxConfig::secondaryHost);
    } else {
        CheckAddress("primary-server", c.primaryServer);
        CheckAddress("secondary-server", c.secondaryServer);
    }
    CheckText("room", c.roomDescription, sizeof PmxConfig::roomDescription);
    CheckText("station", c.stationId, sizeof PmxConfig::stationId);
    if (c.addressMode != 1 && c.addressMode != 2) {
        throw std::invalid_argument("address-mode: not 1 or 2");
    }
    if (c.port > 0xFFFF || c.slot > 15 || c.formatByte > 0xFF || c.chargeFault > 0xFF || c.chargeStatus > 0xFF) {
        throw std::invalid_argument("port, slot, format or a charge byte out of range");
    }
    if (!c.availableForCheckout) {
        throw std::invalid_argument("checkout: this dock always offers the camera for checkout");
    }
    const auto flags =
        static_cast<unsigned char>((c.otherFlags & ~3u) | (c.addressMode == 2 ? PmxConfig::kFlagAddressMode2 : 0) |
                                   (c.serversByName ? PmxConfig::kFlagServersByName : 0));

    const DockProto::EthtoolEeprom eeprom(
        ETHTOOL_GEEPROM, 0, DockProto::EthtoolEeprom::kImageSize, {c.primaryServer, c.secondaryServer},
        static_cast<unsigned char>(c.formatByte), flags, c.ipAddress, c.netmask, c.gateway, c.dns,
        static_cast<unsigned short>(c.port), c.roomDescription, c.stationId, TenantBytes(c.tenantId),
        static_cast<unsigned char>(c.chargeFault), static_cast<unsigned char>(c.chargeStatus));
    DravoImage image = eeprom.GetImage();
    if (c.chip == DravoChip::Ax88179) {
        // The builder lays out a LAN78xx cradle; this chip keeps the two bytes
        // elsewhere and its handshake where the LAN78xx keeps them.
        const auto lan = StatusBytesOf(DravoChip::Lan7850);
        const auto ax = StatusBytesOf(DravoChip::Ax88179);
        image[lan.chargeFault] = 0;
        image[lan.chargeStatus] = 0;
        image[ax.chargeFault] = static_cast<unsigned char>(c.chargeFault);
        image[ax.chargeStatus] = static_cast<unsigned char>(c.chargeStatus);
    }
    return image;
}

DravoConfiguration ReadDravoImage(const DravoImage& image, DravoChip chip) {
    PmxConfig config;
    std::memcpy(&config, image.data() + DockProto::EEPROM_lan7850::kPmxDataStartAddress, sizeof config);
    DravoConfiguration c;
    c.chip = chip;
    c.addressMode = (config.flags & PmxConfig::kFlagAddressMode2) ? 2 : 1;
    c.serversByName = (config.flags & PmxConfig::kFlagServersByName) != 0;
    c.otherFlags = config.flags & ~3u;
    c.ipAddress = Ip4IntToString(config.GetIpAddress());
    c.netmask = Ip4IntToString(config.GetNetmask());
    c.gateway = Ip4IntToString(config.GetGateway());
    c.dns = Ip4IntToString(config.GetDns());
    if (c.serversByName) {
        c.primaryServer = config.GetPrimaryHost();
        c.secondaryServer = config.GetSecondaryHost();
    } else {
        c.primaryServer = Ip4IntToString(config.GetPrimaryServer());
        c.secondaryServer = Ip4IntToString(config.GetSecondaryServer());
    }
    c.port = config.GetPort();
    c.roomDescription = config.GetRoomDescription();
    c.stationId = config.GetStationId();
    c.tenantId = config.GetTenantId();
    c.formatByte = config.formatByte;
    c.chargeFault = image[StatusBytesOf(chip).chargeFault];
    c.chargeStatus = image[StatusBytesOf(chip).chargeStatus];
    return c;
}

std::array<std::byte, 6> DravoAdapterMac(unsigned slot) {
    return {std::byte{0x02}, std::byte{0xD0}, std::byte{0x0C},
            std::byte{0x00}, std::byte{0x00}, static_cast<std::byte>(0xA0 | (slot & 0x0F))};
}

std::vector<std::string> DravoMismatches(const DravoConfiguration& c, const std::array<std::byte, 6>& mac,
                                         const DockProtoIF::NetworkConfig& network,
                                         const DockProtoIF::ServerInfo& server) {
    std::vector<std::string> out;
    const std::string gateway = Canonical(c.gateway);
    const std::string dns = Canonical(c.dns);
    std::string fallbackDns = dns;
    if (dns == "0.0.0.0") {
        fallbackDns = gateway == "0.0.0.0" ? "" : gateway;
    }
    Compare(out, "addressMode", network.addressMode, std::uint32_t{c.addressMode});
    Compare(out, "ipAddress", network.ipAddress, Canonical(c.ipAddress));
    Compare(out, "netmask", network.netmask, Canonical(c.netmask));
    Compare(out, "gateway", network.gateway, gateway);
    Compare(out, "dns", network.dns, fallbackDns);
    Compare(out, "macAddress", network.macAddress, FormatMacAddress(mac));

    using UrlType = DockProtoIF::ServerUrlType;
    const auto server_text = [&](const std::string& text) { return c.serversByName ? text : Canonical(text); };
    Compare(out, "dnsIp", server.dnsIp, dns);
    Compare(out, "serverUrlType", server.serverUrlType, c.serversByName ? UrlType::Hostname : UrlType::IpAddress);
    Compare(out, "primaryServerUrl", server.primaryServerUrl, server_text(c.primaryServer));
    Compare(out, "secondaryServerUrl", server.secondaryServerUrl, server_text(c.secondaryServer));
    Compare(out, "port", server.port, std::to_string(c.port));
    Compare(out, "roomDescription", server.roomDescription, c.roomDescription);
    Compare(out, "stationId", server.stationId, c.stationId);
    std::string tenant = c.tenantId;
    std::transform(tenant.begin(), tenant.end(), tenant.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    Compare(out, "tenantId", server.tenantId, tenant);
    Compare(out, "slotId", unsigned{server.slotId}, c.slot);
    Compare(out, "availableForCheckout", server.availableForCheckout, c.availableForCheckout);
    Compare(out, "ELLocationType", server.ELLocationType, std::string("Q7 Dravo"));
    Compare(out, "useIPv6", server.useIPv6, false);
    Compare(out, "proxy", server.proxy, std::string());
    return out;
}

DravoConfiguration SampleDravoConfiguration(DravoChip chip) {
    DravoConfiguration c;
    c.chip = chip;
    c.addressMode = 2;
    c.ipAddress = "10.20.30.40";
    c.netmask = "255.255.255.0";
    c.gateway = "10.20.30.1";
    c.port = 8443;
    c.roomDescription = "Briefing room 2";
    c.stationId = "Station 4";
    c.tenantId = "00112233-4455-6677-8899-aabbccddeeff";
    c.slot = 10;
    c.formatByte = 1;
    c.chargeFault = 0x05;
    c.chargeStatus = 4;
    if (chip == DravoChip::Ax88179) {
        // Servers by name and an explicit DNS server.
        c.dns = "10.20.30.53";
        c.primaryServer = "evidence.example.com";
        c.secondaryServer = "evidence-backup.example.com";
    } else {
        // Servers by address; no DNS server, so the gateway stands in.
        c.serversByName = false;
        c.dns = "0.0.0.0";
        c.primaryServer = "10.20.0.5";
        c.secondaryServer = "10.20.0.6";
    }
    return c;
}

}  // namespace tvo::DockSim
