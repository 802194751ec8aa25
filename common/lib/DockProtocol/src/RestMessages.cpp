// The envelope, the header, the error and say-hello records, and the records
// of the Oskin dock.

#include <DockProtocol/RestMessages.h>

#include <Common/Utf8.h>

#include <cmath>
#include <limits>

namespace tvo::rest {

using web::json::json_exception;
using web::json::value;

value GetRequiredValue(const web::json::object& object, const std::string& key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        throw json_exception("key not found for" + key);
    }
    return found->second;
}

std::string RequiredString(const web::json::object& object, const std::string& key) {
    return GetRequiredValue(object, key).as_string();
}

std::int64_t IntegerInRange(const value& number, std::int64_t min, std::int64_t max) {
    // as_number throws the same json_exception as any wrongly typed read.
    const web::json::number& read = number.as_number();
    if (read.is_int64()) {
        const std::int64_t integer = read.to_int64();
        if (integer >= min && integer <= max) {
            return integer;
        }
    } else if (read.is_uint64()) {
        // Above INT64_MAX, so above every range here.
    } else {
        const double real = read.to_double();
        if (std::isfinite(real) && std::trunc(real) == real && real >= static_cast<double>(min) &&
            real <= static_cast<double>(max)) {
            return static_cast<std::int64_t>(real);
        }
    }
    throw json_exception("number out of range");
}

int RequiredInteger(const web::json::object& object, const std::string& key) {
    return static_cast<int>(IntegerInRange(GetRequiredValue(object, key), std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t RequiredUnsigned(const web::json::object& object, const std::string& key) {
    return static_cast<std::uint32_t>(
        IntegerInRange(GetRequiredValue(object, key), 0, std::numeric_limits<std::uint32_t>::max()));
}

std::uint16_t RequiredPort(const web::json::object& object, const std::string& key) {
    return static_cast<std::uint16_t>(IntegerInRange(GetRequiredValue(object, key), 1, 65535));
}

bool RequiredBool(const web::json::object& object, const std::string& key) {
    return GetRequiredValue(object, key).as_bool();
}

void OptionalString(const web::json::object& object, const std::string& key, std::string& member) {
    const auto found = object.find(key);
    if (found != object.end()) {
        member = found->second.as_string();
    }
}

MessageHeader ParseMessageHeader(const web::json::object& body) {
    try {
        const value header = GetRequiredValue(body, "message-header");
        const auto& fields = header.as_object();
        MessageHeader parsed;
        OptionalString(fields, "ip_addr", parsed.ip_addr);
        OptionalString(fields, "mac_id", parsed.mac_id);
        OptionalString(fields, "serial_number", parsed.serial_number);
        const auto port = fields.find("port_number");
        if (port != fields.end()) {
            // 0 is the header's "no port", which our own headers carry.
            parsed.port_number = static_cast<std::uint32_t>(IntegerInRange(port->second, 0, 65535));
        }
        return parsed;
    } catch (const json_exception&) {
        // Nobody acts on the sender's header; a broken one must not cost the message.
        return MessageHeader{};
    }
}

value WriteMessageHeader(const MessageHeader& header) {
    value written = value::object(false);
    written["ip_addr"] = value::string(header.ip_addr);
    written["mac_id"] = value::string(header.mac_id);
    written["serial_number"] = value::string(header.serial_number);
    written["port_number"] = value::number(header.port_number);
    return written;
}

value WriteEnvelope(std::string_view type, const MessageHeader& header) {
    value written = value::object(false);
    written["msg_type"] = value::string(std::string(type));
    written["message-header"] = WriteMessageHeader(header);
    return written;
}

value WriteErrorElement(const ErrorElement& error) {
    value written = WriteEnvelope(ErrorElement::kType, error.header);
    written["status_code"] = value::number(error.status_code);
    written["message"] = value::string(error.message);
    return written;
}

std::string ErrorReplyBody(std::uint32_t statusCode, const std::string& message) {
    ErrorElement error;
    error.status_code = statusCode;
    // The message may echo the request, bytes and all.
    error.message = ToValidUtf8(message);
    return WriteErrorElement(error).serialize();
}

SayHelloElement SayHelloElement::FromJson(const web::json::object& body) {
    SayHelloElement hello;
    OptionalString(body, "version", hello.version);
    if (hello.version.empty()) {
        hello.version = "N/A";
    }
    OptionalString(body, "api_version", hello.api_version);
    return hello;
}

value SayHelloElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["version"] = value::string(version);
    written["api_version"] = value::string(api_version);
    return written;
}

value CapabilityElement::ToJson() const {
    value written = value::object(false);
    written["name"] = value::string(name);
    value writtenOptions = value::object(false);
    for (const auto& [key, option] : options) {
        writtenOptions[key] = value::string(option);
    }
    written["options"] = writtenOptions;
    return written;
}

SetServerInfoElement SetServerInfoElement::FromJson(const web::json::object& body) {
    SetServerInfoElement info;
    info.dns_ip = RequiredString(body, "dns_ip");
    info.server_url_type = RequiredString(body, "server_url_type");
    info.server_primary_url = RequiredString(body, "server_primary_url");
    info.server_secondary_url = RequiredString(body, "server_secondary_url");
    info.server_port = RequiredPort(body, "server_port");
    info.tenant_id = RequiredString(body, "tenant_id");
    info.room_description = RequiredString(body, "room_description");
    info.station_id = RequiredString(body, "station_id");
    return info;
}

value SetServerInfoElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["dns_ip"] = value::string(dns_ip);
    written["server_url_type"] = value::string(server_url_type);
    written["server_primary_url"] = value::string(server_primary_url);
    written["server_secondary_url"] = value::string(server_secondary_url);
    written["server_port"] = value::number(server_port);
    written["tenant_id"] = value::string(tenant_id);
    written["room_description"] = value::string(room_description);
    written["station_id"] = value::string(station_id);
    return written;
}

value ConnectionReadyElement::ToJson() const {
    return WriteEnvelope(kType, header);
}

value GetCameraConfigResponseElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["uri"] = value::string(uri);
    return written;
}

value CameraCapabilitiesElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    value list = value::array(capabilities.size());
    for (std::size_t i = 0; i < capabilities.size(); ++i) {
        list[i] = capabilities[i].ToJson();
    }
    written["capabilities"] = list;
    return written;
}

value UsbDeviceStatusResponseElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["provisioned"] = value::boolean(provisioned);
    return written;
}

value SetServerInfoResponseElement::ToJson() const {
    value written = WriteEnvelope(kType, header);
    written["new_tenant_id"] = value::boolean(new_tenant_id);
    return written;
}

}  // namespace tvo::rest
