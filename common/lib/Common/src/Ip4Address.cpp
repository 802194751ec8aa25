#include "Common/Network.h"

#include "Logger/LogClient.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tvo {
namespace {

// inet_pton reads a C string, so an embedded NUL would hide trailing junk.
bool ParseIPv4(const std::string& text, unsigned char (&bytes)[4]) {
    in_addr address{};
    if (text.find('\0') != std::string::npos || ::inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return false;
    }
    static_assert(sizeof address == sizeof bytes);
    std::memcpy(bytes, &address, sizeof bytes);
    return true;
}

// Bad text may carry control bytes or NULs; show them instead of letting
// them cut the message or garble the log.
std::string Printable(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            shown.push_back(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return shown;
}

}  // namespace

std::string Ip4IntToString(unsigned int address) {
    return std::to_string(address & 0xffu) + '.' + std::to_string((address >> 8) & 0xffu) + '.' +
           std::to_string((address >> 16) & 0xffu) + '.' + std::to_string((address >> 24) & 0xffu);
}

unsigned int Ip4StringToInt(const std::string& text) {
    unsigned char bytes[4];
    if (!ParseIPv4(text, bytes)) {
        const std::string message = "invalid IPv4 address: '" + Printable(text) + "'";
        PMX_LOG(LogLevel::Warning, kLogCategoryDock) << message;
        throw std::invalid_argument(message);
    }
    // bytes are in network order, first dotted part first.
    return static_cast<unsigned int>(bytes[0]) | static_cast<unsigned int>(bytes[1]) << 8 |
           static_cast<unsigned int>(bytes[2]) << 16 | static_cast<unsigned int>(bytes[3]) << 24;
}

bool ValidIPv4Address(const std::string& text) {
    unsigned char bytes[4];
    return ParseIPv4(text, bytes);
}

bool ValidIPv4Port(long port) {
    return port >= 1 && port <= 65535;
}

}  // namespace tvo
