// Hosts-file entries that make the dock and its proxy reachable by fixed names.

#include "DockProtoPallixImpl.h"

#include <Logger/LogClient.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <fstream>

namespace tvo {
namespace {

constexpr std::string_view kSource = "common/lib/DockProtocol/src/PallixHostsFile.cpp";

bool IsAddressLiteral(const std::string& text) {
    in6_addr scratch{};
    return inet_pton(AF_INET, text.c_str(), &scratch) == 1 ||
           inet_pton(AF_INET6, text.c_str(), &scratch) == 1;
}

// Nothing that could end the line or start a comment or a further name.
bool IsPlainHostName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-';
    });
}

// Text from the network, shown in a log line without breaking it.
std::string Shown(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string shown = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            shown += "\\x";
            shown += hex[c >> 4];
            shown += hex[c & 0xF];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown + "\"";
}

}  // namespace

bool DockProtoPallixImpl::AddHostName(const std::string& address, const std::string& hostName) const {
    if (!IsAddressLiteral(address)) {
        PMX_LOG(kSource, LogLevel::Error, kLogCategoryDock)
            << "Refused to add " << Shown(hostName) << " to " << settings.hostsFile
            << ": the address " << Shown(address) << " is not an IP address";
        return false;
    }
    if (!IsPlainHostName(hostName)) {
        PMX_LOG(kSource, LogLevel::Error, kLogCategoryDock)
            << "Refused to add " << Shown(hostName) << " to " << settings.hostsFile
            << ": not a plain host name";
        return false;
    }
    std::ofstream hosts(settings.hostsFile, std::ios::out | std::ios::app);
    if (!hosts.is_open()) {
        PMX_LOG(kSource, LogLevel::Error, kLogCategoryDock) << "Failed to open " << settings.hostsFile;
        return false;
    }
    // The leading newline keeps the entry whole after a last line without one.
    hosts << "\n# Pallix address\n" << address << '\t' << hostName << '\n';
    PMX_LOG(kSource, LogLevel::Info, kLogCategoryDock)
        << "Added " << hostName << " to " << settings.hostsFile;
    return true;
}

}  // namespace tvo
