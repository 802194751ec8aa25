/// \file
/// The JSON messages of the REST docks (Velta and Oskin) and the rules by
/// which they are read and written.
#pragma once
// The JSON messages of both REST docks. Every message is one object holding
// its type ("msg_type"), a header naming the sender ("message-header") and the
// message's own keys. Records are written into objects that do not keep the
// insertion order, so their keys serialize in ascending byte order; a body
// travels as the compact text of value::serialize().
//
// Reading: a required key is fetched with GetRequiredValue and converted with
// the accessor of its JSON type; a missing key or another JSON type throws
// web::json::json_exception out of the reading operation. Optional keys keep
// the member's default when absent. Only the header forgives: a broken header
// reads as an empty one.

#include <DockProtocol/Export.h>
#include <cpprest/json.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/// The JSON messages of the REST docks. Each record's members carry the
/// names of its JSON keys.
namespace tvo::rest {

// Nothing on the wire carries these numbers; 15 is fixed because the MQTT
// approval record derives from its GenericMsg.
/// The message types of both REST docks. MessageType() gives the
/// `msg_type` text each one travels with.
enum class Message : std::uint32_t {
    /// `error`: the error record of a reply.
    Error = 0,
    /// `say_hello`: versions, both docks.
    SayHello = 1,
    /// `device_announement_usb`: the camera announces itself to a Velta base.
    DeviceAnnouncementUSB = 2,
    /// `get_server_info`: the camera asks a Velta base for room and station.
    GetServerInfo = 3,
    /// `upload_status`: the camera's upload report to a Velta base.
    UploadStatus = 4,
    /// `charge_status`: charge report, both ways on a Velta dock.
    ChargeStatus = 5,
    /// `request_base_log`: the camera asks a Velta base to prepare its log.
    RequestBaseLog = 6,
    /// `get_upgrade_pkg_version`: a Velta base asks for the dock firmware version.
    GetUpgradePkgVersion = 7,
    /// `set_ignition_state`: a Velta base's ignition notice.
    SetIgnitionState = 8,
    /// `set_shutdown_state`: a Velta base's shutdown notice.
    SetShutdownState = 9,
    /// `terminate_backend_operations`: a Velta base orders the end of back-end work.
    TerminateBackendOperations = 10,
    /// `shutdown_now`: a Velta base orders a shutdown.
    ShutdownNow = 11,
    /// `get_upgrade_pkg`: a Velta base asks where the firmware package is.
    GetUpgradePkg = 12,
    /// `get_camera_config`: a base asks where the camera configuration is.
    GetCameraConfig = 13,
    /// `http_get_response`: the camera's answer naming a file.
    HttpGetResponse = 14,
    /// `device_announement_usb_approved`: a Velta base approves the camera.
    DeviceAnnouncementUSBApproved = 15,
    /// `connection_ready`: an Oskin base says the connection is ready.
    ConnectionReady = 16,
    /// `set_server_info`: an Oskin base pushes the server information.
    SetServerInfo = 17,
    /// `get_camera_capabilities`: an Oskin base asks for the capabilities.
    GetCameraCapabilities = 18,
    /// `usb_device_status`: an Oskin base asks whether the camera is provisioned.
    UsbDeviceStatus = 19,
    /// `get_camera_config_response`: the camera's answer to an Oskin base.
    GetCameraConfigResponse = 20,
    /// `camera_capabilities`: the camera's answer to an Oskin base.
    CameraCapabilities = 21,
    /// `usb_device_status_response`: the camera's answer to an Oskin base.
    UsbDeviceStatusResponse = 22,
    /// `set_server_info_response`: the camera's answer to an Oskin base.
    SetServerInfoResponse = 23,
};

// The "msg_type" text of a message. The announcement types keep the docks'
// own spelling ("announement").
/// The `msg_type` text of a message type (also its query type or path); ""
/// for a value outside the enumeration.
constexpr std::string_view MessageType(Message message) {
    switch (message) {
        case Message::Error: return "error";
        case Message::SayHello: return "say_hello";
        case Message::DeviceAnnouncementUSB: return "device_announement_usb";
        case Message::GetServerInfo: return "get_server_info";
        case Message::UploadStatus: return "upload_status";
        case Message::ChargeStatus: return "charge_status";
        case Message::RequestBaseLog: return "request_base_log";
        case Message::GetUpgradePkgVersion: return "get_upgrade_pkg_version";
        case Message::SetIgnitionState: return "set_ignition_state";
        case Message::SetShutdownState: return "set_shutdown_state";
        case Message::TerminateBackendOperations: return "terminate_backend_operations";
        case Message::ShutdownNow: return "shutdown_now";
        case Message::GetUpgradePkg: return "get_upgrade_pkg";
        case Message::GetCameraConfig: return "get_camera_config";
        case Message::HttpGetResponse: return "http_get_response";
        case Message::DeviceAnnouncementUSBApproved: return "device_announement_usb_approved";
        case Message::ConnectionReady: return "connection_ready";
        case Message::SetServerInfo: return "set_server_info";
        case Message::GetCameraCapabilities: return "get_camera_capabilities";
        case Message::UsbDeviceStatus: return "usb_device_status";
        case Message::GetCameraConfigResponse: return "get_camera_config_response";
        case Message::CameraCapabilities: return "camera_capabilities";
        case Message::UsbDeviceStatusResponse: return "usb_device_status_response";
        case Message::SetServerInfoResponse: return "set_server_info_response";
    }
    return "";
}

/// The sender's header, key `message-header`. Nobody acts on it: replies may
/// echo it, and a broken one reads as empty.
struct PMX_DOCKPROTOCOL_API MessageHeader {
    /// Sender's address.
    std::string ip_addr;
    /// Sender's MAC address.
    std::string mac_id;
    /// Sender's serial number.
    std::string serial_number;
    /// Sender's port, 0 to 65535; 0 for none.
    std::uint32_t port_number = 0;
};

// The part every message shares. Writing always emits kType, whatever
// msgType holds.
template <Message M>
/// What every message holds: its type and the sender's header.
/// \tparam M the message type.
struct PMX_DOCKPROTOCOL_API GenericMsg {
    /// The message type.
    static constexpr Message kMessage = M;
    /// Its `msg_type` text.
    static constexpr std::string_view kType = MessageType(M);

    /// `msg_type` as read; writing always sends #kType.
    std::string msgType{kType};
    /// `message-header`.
    MessageHeader header;
};

// Link status of an upload report as the Velta base counts it.
/// Link status of an upload report as the Velta base counts it
/// (2 pending, 3 uploading, 4 error).
using UploadLinkStatus = std::uint32_t;

// ---- shared helpers ----

// A copy of the value under key; throws json_exception "key not found for<key>".
/// A copy of the value under `key`.
/// \throws web::json::json_exception `key not found for<key>` when it is missing.
PMX_DOCKPROTOCOL_API web::json::value GetRequiredValue(const web::json::object& object, const std::string& key);
// The header under "message-header", or an all-empty one when it is missing,
// not an object, or holds a member of the wrong JSON type.
/// The header under `message-header` of a message; all empty when it is
/// missing or broken. Never throws.
PMX_DOCKPROTOCOL_API MessageHeader ParseMessageHeader(const web::json::object& body);
/// The header as a JSON object with all four keys.
PMX_DOCKPROTOCOL_API web::json::value WriteMessageHeader(const MessageHeader& header);
// A new sorted object holding "msg_type" and "message-header"; the message's
// own keys are added to it.
/// A new JSON object holding `msg_type` and `message-header`, to which a
/// message adds its own keys; keys serialize in ascending order.
PMX_DOCKPROTOCOL_API web::json::value WriteEnvelope(std::string_view type, const MessageHeader& header);

/// The string under `key`.
/// \throws web::json::json_exception when it is missing or not a string.
PMX_DOCKPROTOCOL_API std::string RequiredString(const web::json::object& object, const std::string& key);
// Numbers from a dock are read only when they are integers (3.0 counts, 3.5
// and 1e300 do not) within the member's range; anything else throws
// json_exception, as a value of the wrong JSON type does.
/// A JSON number as an integer from `min` to `max` (3.0 counts; 3.5 and
/// 1e300 do not).
/// \throws web::json::json_exception when it is not a number, not an integer
///         or out of range.
PMX_DOCKPROTOCOL_API std::int64_t IntegerInRange(const web::json::value& number, std::int64_t min, std::int64_t max);
// A signed 32-bit code or state.
/// The signed 32-bit integer under `key`.
/// \throws web::json::json_exception as for IntegerInRange(), or when missing.
PMX_DOCKPROTOCOL_API int RequiredInteger(const web::json::object& object, const std::string& key);
// An unsigned 32-bit count, percentage or tick.
/// The unsigned 32-bit integer under `key`.
/// \throws web::json::json_exception as for IntegerInRange(), or when missing.
PMX_DOCKPROTOCOL_API std::uint32_t RequiredUnsigned(const web::json::object& object, const std::string& key);
// A port, 1 to 65535.
/// The port, 1 to 65535, under `key`.
/// \throws web::json::json_exception as for IntegerInRange(), or when missing.
PMX_DOCKPROTOCOL_API std::uint16_t RequiredPort(const web::json::object& object, const std::string& key);
/// The boolean under `key`.
/// \throws web::json::json_exception when it is missing or not a boolean.
PMX_DOCKPROTOCOL_API bool RequiredBool(const web::json::object& object, const std::string& key);
// Leaves member as it is when the key is absent; a present key of another
// JSON type throws.
/// Sets `member` to the string under `key`; leaves it as it is when the key
/// is absent.
/// \throws web::json::json_exception when the key holds another JSON type.
PMX_DOCKPROTOCOL_API void OptionalString(const web::json::object& object, const std::string& key, std::string& member);

// Reads the envelope of a message that carries nothing else: "msg_type" is
// required, the header forgiving.
template <Message M>
/// Reads a message that carries nothing but its envelope: `msg_type`
/// required, the header forgiving.
/// \tparam M the message type.
/// \throws web::json::json_exception when `msg_type` is missing or not a string.
GenericMsg<M> ReadEnvelope(const web::json::object& body) {
    GenericMsg<M> message;
    message.msgType = RequiredString(body, "msg_type");
    message.header = ParseMessageHeader(body);
    return message;
}

// ---- records of both docks ----

/// The error record of a non-200 reply (keys `status_code`, `message`).
struct PMX_DOCKPROTOCOL_API ErrorElement : GenericMsg<Message::Error> {
    /// The reply's HTTP status.
    std::uint32_t status_code = 0;
    /// Why, as text.
    std::string message;
};
/// The error record as JSON.
PMX_DOCKPROTOCOL_API web::json::value WriteErrorElement(const ErrorElement& error);
// The serialized error body for a reply with that status and reason.
/// The serialized error record of a reply with that status and reason
/// (made valid UTF-8).
PMX_DOCKPROTOCOL_API std::string ErrorReplyBody(std::uint32_t statusCode, const std::string& message);

/// `say_hello`: the versions of the sender, both docks.
struct PMX_DOCKPROTOCOL_API SayHelloElement : GenericMsg<Message::SayHello> {
    /// Software version; "N/A" when absent or empty.
    std::string version = "N/A";
    /// REST API version ("1.1" from this camera to an Oskin base); may be empty.
    std::string api_version;

    /// Reads the optional `version` and `api_version`; the envelope is not read.
    /// \throws web::json::json_exception when a key holds another JSON type.
    // Reads "version" (absent or empty: "N/A") and "api_version"; the
    // envelope is not read.
    static SayHelloElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

// ---- Oskin dock records ----

/// One capability in `camera_capabilities` (keys `name`, `options`).
struct PMX_DOCKPROTOCOL_API CapabilityElement {
    /// An empty capability.
    CapabilityElement() = default;
    /// A capability with its name and options.
    CapabilityElement(std::string name, std::map<std::string, std::string> options)
        : name(std::move(name)), options(std::move(options)) {}

    /// The capability's name.
    std::string name;
    /// Its settings, key to value (a JSON object of strings).
    std::map<std::string, std::string> options;

    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `set_server_info`: the server information an Oskin base pushes.
struct PMX_DOCKPROTOCOL_API SetServerInfoElement : GenericMsg<Message::SetServerInfo> {
    /// DNS server, dotted IPv4.
    std::string dns_ip;
    /// "HOSTNAME" or "IPADDRESS" (any case); anything else reads as ServerUrlType::Unknown.
    std::string server_url_type;
    /// Primary server.
    std::string server_primary_url;
    /// Secondary server.
    std::string server_secondary_url;
    /// Server port, 1 to 65535 when read.
    std::uint32_t server_port = 0;
    /// Tenant UUID text; decides whether the information is accepted.
    std::string tenant_id;
    /// Room description.
    std::string room_description;
    /// Station name.
    std::string station_id;

    /// Reads every key, all required; the envelope is not read.
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    // Every key required; the envelope is not read.
    static SetServerInfoElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `connection_ready`, the camera's reply to the base's notice (envelope only).
struct PMX_DOCKPROTOCOL_API ConnectionReadyElement : GenericMsg<Message::ConnectionReady> {
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `get_camera_config_response`: where an Oskin base fetches the camera configuration.
struct PMX_DOCKPROTOCOL_API GetCameraConfigResponseElement : GenericMsg<Message::GetCameraConfigResponse> {
    /// The configuration's URI, from OskinDockCallbackIF::GetCameraConfigUri().
    std::string uri;
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `camera_capabilities`: the camera's capabilities for an Oskin base.
struct PMX_DOCKPROTOCOL_API CameraCapabilitiesElement : GenericMsg<Message::CameraCapabilities> {
    /// The capabilities, in the host's order (a JSON array).
    std::vector<CapabilityElement> capabilities;
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `usb_device_status_response`: whether the camera is provisioned.
struct PMX_DOCKPROTOCOL_API UsbDeviceStatusResponseElement : GenericMsg<Message::UsbDeviceStatusResponse> {
    /// From OskinDockCallbackIF::IsUsbDeviceProvisioned().
    bool provisioned = false;
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `set_server_info_response`: the accepted push's answer.
struct PMX_DOCKPROTOCOL_API SetServerInfoResponseElement : GenericMsg<Message::SetServerInfoResponse> {
    /// True when the camera was not provisioned (any tenant accepted), false for
    /// its own tenant.
    bool new_tenant_id = false;
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

// ---- Velta dock records: camera to base ----

/// `device_announement_usb`: the camera announces itself to a Velta base.
struct PMX_DOCKPROTOCOL_API DeviceAnnouncementElementUSB : GenericMsg<Message::DeviceAnnouncementUSB> {
    /// The camera's Wi-Fi MAC (DockProtoIF::SetWifiMac()).
    std::string mac_id;
    /// The camera's serial number (DockProtoIF::SetSerialNumber()).
    std::string serial_number;

    /// Reads `mac_id` and `serial_number`, both required.
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static DeviceAnnouncementElementUSB FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `get_server_info`: sent with empty room and station; the Velta base's
/// answer carries both.
// Sent with empty room and station; the base's answer carries both.
struct PMX_DOCKPROTOCOL_API GetServerInfoElement : GenericMsg<Message::GetServerInfo> {
    /// Room description.
    std::string room;
    /// Station name.
    std::string station;

    /// Reads `room` and `station`, both required.
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static GetServerInfoElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `upload_status`: the camera's upload report to a Velta base.
struct PMX_DOCKPROTOCOL_API UploadStatusElement : GenericMsg<Message::UploadStatus> {
    /// 3 uploading, 2 pending or queued, 4 error.
    UploadLinkStatus upload_link_status = 0;
    /// Progress in percent; the camera sends 0.
    std::uint32_t upload_link_percent = 0;

    /// Reads both keys, required unsigned integers.
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static UploadStatusElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `charge_status`: the camera's charge report, and the Velta base's.
// Travels both ways: the camera's charge report and the base's.
struct PMX_DOCKPROTOCOL_API ChargeStatusElement : GenericMsg<Message::ChargeStatus> {
    /// "Not Charging", "Full" or "Charging" from the camera; empty for a fault.
    std::string charge_state;
    /// The base's temperature-sensor fault (only logged).
    std::int32_t charge_ntcfault = 0;
    /// Battery fault flag.
    bool charge_batteryfault = false;
    /// Charge fault: the camera sends 2 for ChargeStatus::Fault; the base's 0 to
    /// 3 (else 4) become GetChargeFault()'s 0, 7, 2, 2 and 8.
    std::int32_t charge_fault = 0;
    /// Boost converter fault flag.
    bool charge_boostfault = false;
    /// Watchdog fault flag.
    bool charge_watchdogfault = false;

    /// Reads all six keys, required.
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static ChargeStatusElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `request_base_log`: the camera asks a Velta base to prepare its log.
struct PMX_DOCKPROTOCOL_API RequestBaseLogElement : GenericMsg<Message::RequestBaseLog> {
    /// The camera's tick the log is wanted from.
    std::uint32_t sysTick = 0;

    /// Reads `sysTick`, a required unsigned integer.
    /// \throws web::json::json_exception when it is missing or of a wrong type.
    static RequestBaseLogElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

// ---- Velta dock records: base to camera, and the camera's replies ----

/// `device_announement_usb_approved`: a Velta base approves the camera.
struct PMX_DOCKPROTOCOL_API DeviceAnnouncementElementUSBApproved : GenericMsg<Message::DeviceAnnouncementUSBApproved> {
    /// Wi-Fi network name.
    std::string ssid;
    /// Wi-Fi pre-shared key.
    std::string psk;
    /// Address granted to the camera.
    std::string ip_addr;
    /// MAC address; optional.
    std::string mac_id;  // optional

    /// Reads `ssid`, `psk` and `ip_addr` (required) and `mac_id` (optional).
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static DeviceAnnouncementElementUSBApproved FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `device_announement_usb_approved` with MQTT settings, read while the MQTT
/// support marker file exists.
// The approval of a camera that accepts MQTT settings.
static_assert(static_cast<std::uint32_t>(Message::DeviceAnnouncementUSBApproved) == 15);
struct PMX_DOCKPROTOCOL_API DeviceAnnouncementElementUSBApprovedMQTT
    : GenericMsg<Message::DeviceAnnouncementUSBApproved> {
    /// An empty approval.
    DeviceAnnouncementElementUSBApprovedMQTT() = default;
    /// Copies an approval.
    DeviceAnnouncementElementUSBApprovedMQTT(const DeviceAnnouncementElementUSBApprovedMQTT&) = default;
    /// Copies an approval.
    DeviceAnnouncementElementUSBApprovedMQTT& operator=(const DeviceAnnouncementElementUSBApprovedMQTT&) = default;
    /// Frees the approval.
    virtual ~DeviceAnnouncementElementUSBApprovedMQTT() = default;

    /// Wi-Fi network name.
    std::string ssid;
    /// Wi-Fi pre-shared key.
    std::string psk;
    /// Address granted to the camera.
    std::string ip_addr;
    /// MAC address; optional.
    std::string mac_id;  // optional
    /// MQTT broker address; optional.
    std::string mqtt_address;  // optional
    /// MQTT password; optional.
    std::string mqtt_password;  // optional
    /// MQTT certificate; optional.
    std::string mqtt_certificate;  // optional
    /// MQTT broker port, 1 to 65535; required.
    std::uint32_t mqtt_port_number = 0;

    /// Reads `ssid`, `psk`, `ip_addr` and `mqtt_port_number` (required) and the
    /// other keys (optional).
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static DeviceAnnouncementElementUSBApprovedMQTT FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `set_ignition_state`: a Velta base's ignition notice (only logged).
struct PMX_DOCKPROTOCOL_API SetIgnitionStateElement : GenericMsg<Message::SetIgnitionState> {
    /// The ignition state; the key is spelt `ignitition_state`.
    std::int32_t ignitition_state = 0;  // the base's spelling of the key

    /// Reads `ignitition_state`, a required integer.
    /// \throws web::json::json_exception when it is missing or of a wrong type.
    static SetIgnitionStateElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `set_shutdown_state`: a Velta base's shutdown notice (only logged).
struct PMX_DOCKPROTOCOL_API SetShutdownStateElement : GenericMsg<Message::SetShutdownState> {
    /// The shutdown state (the base sends 0 to 3).
    std::int32_t shutdown_state = 0;

    /// Reads `shutdown_state`, a required integer.
    /// \throws web::json::json_exception when it is missing or of a wrong type.
    static SetShutdownStateElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `get_upgrade_pkg_version`: a Velta base asks for the dock firmware version;
/// the camera answers the same record with `version` filled.
struct PMX_DOCKPROTOCOL_API GetUpgradePkgVersionElement : GenericMsg<Message::GetUpgradePkgVersion> {
    /// Firmware kind; only "velta" is served.
    std::string fw_type = "unknown";
    /// The package version; "0.0.0.0" when there is none or it is not validated.
    std::string version;  // optional

    /// Reads `fw_type` (required) and `version` (optional).
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static GetUpgradePkgVersionElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `get_upgrade_pkg`: a Velta base asks where the dock firmware package is.
struct PMX_DOCKPROTOCOL_API GetUpgradePkgElement : GenericMsg<Message::GetUpgradePkg> {
    /// Firmware kind; only "velta" is served.
    std::string fw_type = "unknown";

    /// Reads `fw_type`, required.
    /// \throws web::json::json_exception when it is missing or of a wrong type.
    static GetUpgradePkgElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

/// `http_get_response`: the camera's answer naming a file for a Velta base.
struct PMX_DOCKPROTOCOL_API HttpGetResponseElement : GenericMsg<Message::HttpGetResponse> {
    /// "OK", "File not found", "Unsupported firmware type", or another reason.
    std::string result;
    /// The file's path when the result is "OK", else empty.
    std::string uri;

    /// Reads `result` and `uri`, both required.
    /// \throws web::json::json_exception for a missing key or a wrong JSON type.
    static HttpGetResponseElement FromJson(const web::json::object& body);
    /// The message as JSON: envelope and every key.
    web::json::value ToJson() const;
};

}  // namespace tvo::rest
