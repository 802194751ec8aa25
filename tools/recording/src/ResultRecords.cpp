#include "ResultRecords.h"

#include "JsonText.h"

namespace tvo::Recording {

using web::json::value;
using Dock = DockProtoIF;

const char* CodeName(Dock::ReturnCode code) {
    switch (code) {
        case Dock::ReturnCode::Failed: return "Failed";
        case Dock::ReturnCode::Ok: return "Ok";
        case Dock::ReturnCode::NotSupported: return "NotSupported";
        case Dock::ReturnCode::InProgress: return "InProgress";
    }
    return "Unknown";
}

Dock::ReturnCode CodeFrom(const std::string& name) {
    for (const auto code : {Dock::ReturnCode::Ok, Dock::ReturnCode::NotSupported, Dock::ReturnCode::InProgress}) {
        if (name == CodeName(code)) {
            return code;
        }
    }
    return Dock::ReturnCode::Failed;
}

value Record(const Dock::NetworkConfig& config) {
    value record = value::object(true);
    record["addressMode"] = value::number(config.addressMode);
    record["ipAddress"] = Bytes(config.ipAddress);
    record["netmask"] = Bytes(config.netmask);
    record["gateway"] = Bytes(config.gateway);
    record["dns"] = Bytes(config.dns);
    record["macAddress"] = Bytes(config.macAddress);
    return record;
}

value Record(const Dock::AssociationInfo& association) {
    value record = value::object(true);
    record["ssid"] = Bytes(association.ssid);
    record["psk"] = Bytes(association.psk);
    record["ipAddr"] = Bytes(association.ipAddr);
    record["macId"] = Bytes(association.macId);
    record["mqttAddress"] = Bytes(association.mqttAddress);
    record["mqttPassword"] = Bytes(association.mqttPassword);
    record["mqttCertificate"] = Bytes(association.mqttCertificate);
    record["mqttPortNumber"] = value::number(association.mqttPortNumber);
    return record;
}

value Record(const Dock::ServerInfo& info) {
    value record = value::object(true);
    record["dnsIp"] = Bytes(info.dnsIp);
    record["serverUrlType"] = value::number(static_cast<std::uint32_t>(info.serverUrlType));
    record["primaryServerUrl"] = Bytes(info.primaryServerUrl);
    record["secondaryServerUrl"] = Bytes(info.secondaryServerUrl);
    record["port"] = Bytes(info.port);
    record["roomDescription"] = Bytes(info.roomDescription);
    record["stationId"] = Bytes(info.stationId);
    record["tenantId"] = Bytes(info.tenantId);
    record["slotId"] = value::number(info.slotId);
    record["availableForCheckout"] = value::boolean(info.availableForCheckout);
    record["ELLocationType"] = Bytes(info.ELLocationType);
    record["useIPv6"] = value::boolean(info.useIPv6);
    record["proxy"] = Bytes(info.proxy);
    return record;
}

value Record(const std::vector<OskinDockCallbackIF::Capability>& capabilities) {
    value record = value::array();
    for (std::size_t i = 0; i < capabilities.size(); ++i) {
        value capability = value::object(true);
        capability["name"] = Bytes(capabilities[i].name);
        value options = value::object(true);
        for (const auto& [key, option] : capabilities[i].options) {
            options[key] = Bytes(option);
        }
        capability["options"] = std::move(options);
        record[i] = std::move(capability);
    }
    return record;
}

value Record(const OskinDockCallbackIF::ProvisioningStatus& status) {
    value record = value::object(true);
    record["provisioned"] = value::boolean(status.provisioned);
    record["detail"] = Bytes(status.detail);
    record["currentTenantId"] = Bytes(status.currentTenantId);
    return record;
}

std::vector<OskinDockCallbackIF::Capability> CapabilitiesFrom(const value& record) {
    std::vector<OskinDockCallbackIF::Capability> capabilities;
    if (!record.is_array()) {
        return capabilities;
    }
    for (const auto& item : record.as_array()) {
        OskinDockCallbackIF::Capability capability;
        capability.name = StringField(item, "name");
        if (const auto* options = Field(item, "options"); options && options->is_object()) {
            for (const auto& [key, option] : options->as_object()) {
                std::string text;
                if (BytesOf(option, text)) {
                    capability.options[key] = text;
                }
            }
        }
        capabilities.push_back(std::move(capability));
    }
    return capabilities;
}

OskinDockCallbackIF::ProvisioningStatus ProvisioningFrom(const value& record) {
    OskinDockCallbackIF::ProvisioningStatus status;
    status.provisioned = BoolField(record, "provisioned");
    status.detail = StringField(record, "detail");
    status.currentTenantId = StringField(record, "currentTenantId");
    return status;
}

}  // namespace tvo::Recording
