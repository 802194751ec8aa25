// The readable "key = value" form of a Dravo configuration.

#include <DockSim/DravoImage.h>

#include <charconv>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
                   HexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            throw std::invalid_argument("a backslash must start \\xNN or \\\\");
        }
    }
    return out;
}

// Control bytes, bytes above 0x7E and blanks at either end would not survive
// the trip through a text file.
std::string Escape(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool edgeBlank = byte == ' ' && (i == 0 || i + 1 == text.size());
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte > 0x7E || edgeBlank) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

unsigned Number(std::string_view text, unsigned maximum) {
    unsigned value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument("not a number");
    }
    if (value > maximum) {
        throw std::invalid_argument("more than " + std::to_string(maximum));
    }
    return value;
}

bool Flag(std::string_view text) {
    if (text == "true" || text == "yes" || text == "1")
        return true;
    if (text == "false" || text == "no" || text == "0")
        return false;
    throw std::invalid_argument("not true or false");
}

using Setter = std::function<void(DravoConfiguration&, const std::string&)>;

const std::map<std::string_view, Setter>& Setters() {
    static const std::map<std::string_view, Setter> setters{
        {"chip",
         [](auto& c, const auto& v) {
             const auto chip = ParseChip(v);
             if (!chip)
                 throw std::invalid_argument("not ax88179 or lan7850");
             c.chip = *chip;
         }},
        {"address-mode",
         [](auto& c, const auto& v) {
             c.addressMode = Number(v, 2);
             if (c.addressMode == 0)
                 throw std::invalid_argument("not 1 or 2");
         }},
        {"ip", [](auto& c, const auto& v) { c.ipAddress = v; }},
        {"netmask", [](auto& c, const auto& v) { c.netmask = v; }},
        {"gateway", [](auto& c, const auto& v) { c.gateway = v; }},
        {"dns", [](auto& c, const auto& v) { c.dns = v; }},
        {"servers-by",
         [](auto& c, const auto& v) {
             if (v != "name" && v != "address")
                 throw std::invalid_argument("not name or address");
             c.serversByName = v == "name";
         }},
        {"primary-server", [](auto& c, const auto& v) { c.primaryServer = v; }},
        {"secondary-server", [](auto& c, const auto& v) { c.secondaryServer = v; }},
        {"port", [](auto& c, const auto& v) { c.port = Number(v, 65535); }},
        {"room", [](auto& c, const auto& v) { c.roomDescription = v; }},
        {"station", [](auto& c, const auto& v) { c.stationId = v; }},
        {"tenant", [](auto& c, const auto& v) { c.tenantId = v; }},
        {"slot", [](auto& c, const auto& v) { c.slot = Number(v, 15); }},
        {"checkout", [](auto& c, const auto& v) { c.availableForCheckout = Flag(v); }},
        {"format", [](auto& c, const auto& v) { c.formatByte = Number(v, 255); }},
        {"charge-fault", [](auto& c, const auto& v) { c.chargeFault = Number(v, 255); }},
        {"charge-status", [](auto& c, const auto& v) { c.chargeStatus = Number(v, 255); }},
        {"other-flags", [](auto& c, const auto& v) { c.otherFlags = Number(v, 255) & ~3u; }},
    };
    return setters;
}

}  // namespace

DravoConfiguration ParseDravoConfiguration(std::string_view text) {
    DravoConfiguration configuration;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            throw std::invalid_argument(where + "expected key = value");
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const auto setter = Setters().find(key);
        if (setter == Setters().end()) {
            throw std::invalid_argument(where + "unknown key '" + Escape(key) + "'");
        }
        try {
            setter->second(configuration, Unescape(Trim(line.substr(equals + 1))));
        } catch (const std::invalid_argument& error) {
            throw std::invalid_argument(where + std::string(key) + ": " + error.what());
        }
    }
    return configuration;
}

std::string FormatDravoConfiguration(const DravoConfiguration& c, bool imageOnly) {
    std::ostringstream out;
    out << "chip = " << ChipName(c.chip) << '\n'
        << "address-mode = " << c.addressMode << '\n'
        << "ip = " << Escape(c.ipAddress) << '\n'
        << "netmask = " << Escape(c.netmask) << '\n'
        << "gateway = " << Escape(c.gateway) << '\n'
        << "dns = " << Escape(c.dns) << '\n'
        << "servers-by = " << (c.serversByName ? "name" : "address") << '\n'
        << "primary-server = " << Escape(c.primaryServer) << '\n'
        << "secondary-server = " << Escape(c.secondaryServer) << '\n'
        << "port = " << c.port << '\n'
        << "room = " << Escape(c.roomDescription) << '\n'
        << "station = " << Escape(c.stationId) << '\n'
        << "tenant = " << Escape(c.tenantId) << '\n';
    if (imageOnly) {
        out << "# slot: the last digit of the adapter's MAC address, not in the image\n"
            << "# checkout: always offered by this dock, not in the image\n";
    } else {
        out << "slot = " << c.slot << '\n' << "checkout = " << (c.availableForCheckout ? "true" : "false") << '\n';
    }
    out << "format = " << c.formatByte << '\n'
        << "charge-fault = " << c.chargeFault << '\n'
        << "charge-status = " << c.chargeStatus << '\n';
    if (c.otherFlags != 0) {
        out << "other-flags = 0x" << std::hex << c.otherFlags << std::dec << '\n';
    }
    return out.str();
}

}  // namespace tvo::DockSim
