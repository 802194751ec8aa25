#include <DockProtocol/DockProtoIF.h>

#include <Common/UUID.h>

#include <ostream>

namespace tvo {

DockProtoIF::ServerInfo DockProtoIF::ServerInfo::Neutral() {
    ServerInfo info;
    info.roomDescription = "Default";
    info.stationId = "Corvantech";
    info.tenantId = UUID::Nil;
    info.ELLocationType = "unknown";
    return info;
}

std::ostream& operator<<(std::ostream& out, const DockProtoIF::ServerUrlType& type) {
    switch (type) {
        case DockProtoIF::ServerUrlType::Unknown: return out << "Unknown";
        case DockProtoIF::ServerUrlType::IpAddress: return out << "IpAddress";
        case DockProtoIF::ServerUrlType::Hostname: return out << "Hostname";
        case DockProtoIF::ServerUrlType::LocationOnly: return out << "LocationOnly";
    }
    return out << "Invalid";
}

std::ostream& operator<<(std::ostream& out, const DockProtoIF::ServerInfo& info) {
    // slotId goes out as one raw byte and availableForCheckout in whatever bool
    // format the stream has; host log parsers depend on this exact form.
    out << "DockProtoIF::ServerInfo -- "
        << " dnsIp: " << info.dnsIp << ", serverUrlType: " << info.serverUrlType
        << ", primaryServerUrl: " << info.primaryServerUrl << ", secondaryServerUrl: " << info.secondaryServerUrl
        << ", port: " << info.port << ",  roomDescription: " << info.roomDescription
        << ", stationId: " << info.stationId << ", slotId: " << static_cast<char>(info.slotId)
        << ", tenantId: " << info.tenantId << ", availableForCheckout: " << info.availableForCheckout
        << ", ELLocationType: " << info.ELLocationType << ", useIPv6: " << std::boolalpha << info.useIPv6
        << ", proxy: " << info.proxy;
    return out;
}

std::string_view ToString(DockProtoIF::ReturnCode code) {
    switch (code) {
        case DockProtoIF::ReturnCode::Failed: return "Failed";
        case DockProtoIF::ReturnCode::Ok: return "Ok";
        case DockProtoIF::ReturnCode::NotSupported: return "NotSupported";
        case DockProtoIF::ReturnCode::InProgress: return "InProgress";
    }
    return "Invalid";
}

std::ostream& operator<<(std::ostream& out, const DockProtoIF::ReturnCode& code) {
    return out << ToString(code);
}

}  // namespace tvo
