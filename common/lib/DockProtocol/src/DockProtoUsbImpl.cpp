// The server information pushed by the Oskin base, checked and converted
// into the ServerInfo that the host uses.

#include "DockProtoUsbImpl.h"

#include <Common/Network.h>
#include <Common/UUID.h>
#include <Logger/LogClient.h>

#include <algorithm>
#include <cctype>

namespace tvo {
namespace {

constexpr std::string_view kTenantJunk = "\r\n\v\t\a\b\f\\? ";

using ServerUrlType = DockProtoIF::ServerUrlType;

// "0.0.0.0" is well-formed but names no server.
std::string CheckedAddress(const std::string& value, std::string_view label) {
    if (ValidIPv4Address(value) && value != "0.0.0.0") {
        return value;
    }
    PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Incorrect " << label << ": " << value;
    return {};
}

bool EqualIgnoringCase(const std::string& text, std::string_view keyword) {
    return text.size() == keyword.size() && std::equal(text.begin(), text.end(), keyword.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
           });
}

}  // namespace

DockProtoUsbImpl::DockProtoUsbImpl(const ProtocolEnvironment& environment, DockCallbackIF* dockCallback)
    : callback(dockCallback),
      endpoint(environment.oskin),
      transport(environment.transport),
      pruneProvisionFile(environment.system.pruneProvisionFile),
      toggleConnection(environment.system.toggleConnection) {}

std::string DockProtoUsbImpl::CleanTenantId(std::string_view tenantId) {
    std::string cleaned;
    cleaned.reserve(tenantId.size());
    for (const char c : tenantId) {
        if (kTenantJunk.find(c) == std::string_view::npos) {
            cleaned += c;
        }
    }
    return cleaned;
}

std::pair<DockProtoIF::ServerInfo, bool> DockProtoUsbImpl::ToServerInfo(const rest::SetServerInfoElement& e) {
    auto info = DockProtoIF::ServerInfo::Neutral();
    info.dnsIp = CheckedAddress(e.dns_ip, "dnsIp");

    if (EqualIgnoringCase(e.server_url_type, "HOSTNAME")) {
        info.serverUrlType = ServerUrlType::Hostname;
        info.primaryServerUrl = e.server_primary_url;
        info.secondaryServerUrl = e.server_secondary_url;
    } else if (EqualIgnoringCase(e.server_url_type, "IPADDRESS")) {
        info.serverUrlType = ServerUrlType::IpAddress;
        info.primaryServerUrl = CheckedAddress(e.server_primary_url, "primaryServer");
        info.secondaryServerUrl = CheckedAddress(e.server_secondary_url, "secondaryServer");
    } else {
        info.serverUrlType = ServerUrlType::Unknown;
        info.primaryServerUrl = e.server_primary_url;
        info.secondaryServerUrl = e.server_secondary_url;
    }

    if (ValidIPv4Port(static_cast<long>(e.server_port))) {
        info.port = std::to_string(e.server_port);
    }

    info.tenantId = CleanTenantId(e.tenant_id);
    if (!UUID::IsValid(info.tenantId)) {
        info.tenantId = std::string(UUID::Nil);
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Invalid tenant id format, resetting to Nil. Input: " << e.tenant_id;
    }
    info.roomDescription = e.room_description;
    info.stationId = e.station_id;

    if (info.primaryServerUrl.empty() && info.secondaryServerUrl.empty()) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Server URL Info invalid";
        return {info, false};
    }
    if (info.port.empty()) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Server port info invalid";
        return {info, false};
    }
    return {info, true};
}

}  // namespace tvo
