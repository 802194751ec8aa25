// The records of the Velta dock, both directions. The envelope of a request
// is never read: the dispatch has already chosen the handler by the query.

#include <DockProtocol/RestMessages.h>

namespace tvo::rest {

using web::json::value;

DeviceAnnouncementElementUSB DeviceAnnouncementElementUSB::FromJson(const web::json::object& body) {
    DeviceAnnouncementElementUSB announcement;
    announcement.mac_id = RequiredString(body, "mac_id");
    announcement.serial_number = RequiredString(body, "serial_number");
    return announcement;
}

value DeviceAnnouncementElementUSB::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["mac_id"] = value::string(mac_id);
    written["serial_number"] = value::string(serial_number);
    return written;
}

GetServerInfoElement GetServerInfoElement::FromJson(const web::json::object& body) {
    GetServerInfoElement info;
    info.room = RequiredString(body, "room");
    info.station = RequiredString(body, "station");
    return info;
}

value GetServerInfoElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["room"] = value::string(room);
    written["station"] = value::string(station);
    return written;
}

UploadStatusElement UploadStatusElement::FromJson(const web::json::object& body) {
    UploadStatusElement status;
    status.upload_link_status = RequiredUnsigned(body, "upload_link_status");
    status.upload_link_percent = RequiredUnsigned(body, "upload_link_percent");
    return status;
}

value UploadStatusElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["upload_link_status"] = value::number(upload_link_status);
    written["upload_link_percent"] = value::number(upload_link_percent);
    return written;
}

ChargeStatusElement ChargeStatusElement::FromJson(const web::json::object& body) {
    ChargeStatusElement status;
    status.charge_state = RequiredString(body, "charge_state");
    status.charge_ntcfault = RequiredInteger(body, "charge_ntcfault");
    status.charge_batteryfault = RequiredBool(body, "charge_batteryfault");
    status.charge_fault = RequiredInteger(body, "charge_fault");
    status.charge_boostfault = RequiredBool(body, "charge_boostfault");
    status.charge_watchdogfault = RequiredBool(body, "charge_watchdogfault");
    return status;
}

value ChargeStatusElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["charge_state"] = value::string(charge_state);
    written["charge_ntcfault"] = value::number(charge_ntcfault);
    written["charge_batteryfault"] = value::boolean(charge_batteryfault);
    written["charge_fault"] = value::number(charge_fault);
    written["charge_boostfault"] = value::boolean(charge_boostfault);
    written["charge_watchdogfault"] = value::boolean(charge_watchdogfault);
    return written;
}

RequestBaseLogElement RequestBaseLogElement::FromJson(const web::json::object& body) {
    RequestBaseLogElement request;
    request.sysTick = RequiredUnsigned(body, "sysTick");
    return request;
}

value RequestBaseLogElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["sysTick"] = value::number(sysTick);
    return written;
}

DeviceAnnouncementElementUSBApproved DeviceAnnouncementElementUSBApproved::FromJson(const web::json::object& body) {
    DeviceAnnouncementElementUSBApproved approval;
    approval.ssid = RequiredString(body, "ssid");
    approval.psk = RequiredString(body, "psk");
    approval.ip_addr = RequiredString(body, "ip_addr");
    OptionalString(body, "mac_id", approval.mac_id);
    return approval;
}

value DeviceAnnouncementElementUSBApproved::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["ssid"] = value::string(ssid);
    written["psk"] = value::string(psk);
    written["ip_addr"] = value::string(ip_addr);
    written["mac_id"] = value::string(mac_id);
    return written;
}

DeviceAnnouncementElementUSBApprovedMQTT DeviceAnnouncementElementUSBApprovedMQTT::FromJson(
    const web::json::object& body) {
    DeviceAnnouncementElementUSBApprovedMQTT approval;
    approval.ssid = RequiredString(body, "ssid");
    approval.psk = RequiredString(body, "psk");
    approval.ip_addr = RequiredString(body, "ip_addr");
    OptionalString(body, "mac_id", approval.mac_id);
    OptionalString(body, "mqtt_address", approval.mqtt_address);
    OptionalString(body, "mqtt_password", approval.mqtt_password);
    OptionalString(body, "mqtt_certificate", approval.mqtt_certificate);
    approval.mqtt_port_number = RequiredPort(body, "mqtt_port_number");
    return approval;
}

value DeviceAnnouncementElementUSBApprovedMQTT::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["ssid"] = value::string(ssid);
    written["psk"] = value::string(psk);
    written["ip_addr"] = value::string(ip_addr);
    written["mac_id"] = value::string(mac_id);
    written["mqtt_address"] = value::string(mqtt_address);
    written["mqtt_password"] = value::string(mqtt_password);
    written["mqtt_certificate"] = value::string(mqtt_certificate);
    written["mqtt_port_number"] = value::number(mqtt_port_number);
    return written;
}

SetIgnitionStateElement SetIgnitionStateElement::FromJson(const web::json::object& body) {
    SetIgnitionStateElement state;
    state.ignitition_state = RequiredInteger(body, "ignitition_state");
    return state;
}

value SetIgnitionStateElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["ignitition_state"] = value::number(ignitition_state);
    return written;
}

SetShutdownStateElement SetShutdownStateElement::FromJson(const web::json::object& body) {
    SetShutdownStateElement state;
    state.shutdown_state = RequiredInteger(body, "shutdown_state");
    return state;
}

value SetShutdownStateElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["shutdown_state"] = value::number(shutdown_state);
    return written;
}

GetUpgradePkgVersionElement GetUpgradePkgVersionElement::FromJson(const web::json::object& body) {
    GetUpgradePkgVersionElement request;
    request.fw_type = RequiredString(body, "fw_type");
    OptionalString(body, "version", request.version);
    return request;
}

value GetUpgradePkgVersionElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["fw_type"] = value::string(fw_type);
    written["version"] = value::string(version);
    return written;
}

GetUpgradePkgElement GetUpgradePkgElement::FromJson(const web::json::object& body) {
    GetUpgradePkgElement request;
    request.fw_type = RequiredString(body, "fw_type");
    return request;
}

value GetUpgradePkgElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["fw_type"] = value::string(fw_type);
    return written;
}

HttpGetResponseElement HttpGetResponseElement::FromJson(const web::json::object& body) {
    HttpGetResponseElement response;
    response.result = RequiredString(body, "result");
    response.uri = RequiredString(body, "uri");
    return response;
}

value HttpGetResponseElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["result"] = value::string(result);
    written["uri"] = value::string(uri);
    return written;
}

}  // namespace tvo::rest
