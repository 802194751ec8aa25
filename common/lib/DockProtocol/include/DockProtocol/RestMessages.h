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

namespace tvo::rest {

// Nothing on the wire carries these numbers; 15 is fixed because the MQTT
// approval record derives from its GenericMsg.
enum class Message : std::uint32_t {
    Error = 0,
    SayHello = 1,
    DeviceAnnouncementUSB = 2,
    GetServerInfo = 3,
    UploadStatus = 4,
    ChargeStatus = 5,
    RequestBaseLog = 6,
    GetUpgradePkgVersion = 7,
    SetIgnitionState = 8,
    SetShutdownState = 9,
    TerminateBackendOperations = 10,
    ShutdownNow = 11,
    GetUpgradePkg = 12,
    GetCameraConfig = 13,
    HttpGetResponse = 14,
    DeviceAnnouncementUSBApproved = 15,
    ConnectionReady = 16,
    SetServerInfo = 17,
    GetCameraCapabilities = 18,
    UsbDeviceStatus = 19,
    GetCameraConfigResponse = 20,
    CameraCapabilities = 21,
    UsbDeviceStatusResponse = 22,
    SetServerInfoResponse = 23,
};

// The "msg_type" text of a message. The announcement types keep the docks'
// own spelling ("announement").
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

struct PMX_DOCKPROTOCOL_API MessageHeader {
    std::string ip_addr;
    std::string mac_id;
    std::string serial_number;
    std::uint32_t port_number = 0;
};

// The part every message shares. Writing always emits kType, whatever
// msgType holds.
template <Message M>
struct PMX_DOCKPROTOCOL_API GenericMsg {
    static constexpr Message kMessage = M;
    static constexpr std::string_view kType = MessageType(M);

    std::string msgType{kType};
    MessageHeader header;
};

// Link status of an upload report as the Velta base counts it.
using UploadLinkStatus = std::uint32_t;

// ---- shared helpers ----

// A copy of the value under key; throws json_exception "key not found for<key>".
PMX_DOCKPROTOCOL_API web::json::value GetRequiredValue(const web::json::object& object, const std::string& key);
// The header under "message-header", or an all-empty one when it is missing,
// not an object, or holds a member of the wrong JSON type.
PMX_DOCKPROTOCOL_API MessageHeader ParseMessageHeader(const web::json::object& body);
PMX_DOCKPROTOCOL_API web::json::value WriteMessageHeader(const MessageHeader& header);
// A new sorted object holding "msg_type" and "message-header"; the message's
// own keys are added to it.
PMX_DOCKPROTOCOL_API web::json::value WriteEnvelope(std::string_view type, const MessageHeader& header);

PMX_DOCKPROTOCOL_API std::string RequiredString(const web::json::object& object, const std::string& key);
// Numbers from a dock are read only when they are integers (3.0 counts, 3.5
// and 1e300 do not) within the member's range; anything else throws
// json_exception, as a value of the wrong JSON type does.
PMX_DOCKPROTOCOL_API std::int64_t IntegerInRange(const web::json::value& number, std::int64_t min, std::int64_t max);
// A signed 32-bit code or state.
PMX_DOCKPROTOCOL_API int RequiredInteger(const web::json::object& object, const std::string& key);
// An unsigned 32-bit count, percentage or tick.
PMX_DOCKPROTOCOL_API std::uint32_t RequiredUnsigned(const web::json::object& object, const std::string& key);
// A port, 1 to 65535.
PMX_DOCKPROTOCOL_API std::uint16_t RequiredPort(const web::json::object& object, const std::string& key);
PMX_DOCKPROTOCOL_API bool RequiredBool(const web::json::object& object, const std::string& key);
// Leaves member as it is when the key is absent; a present key of another
// JSON type throws.
PMX_DOCKPROTOCOL_API void OptionalString(const web::json::object& object, const std::string& key, std::string& member);

// Reads the envelope of a message that carries nothing else: "msg_type" is
// required, the header forgiving.
template <Message M>
GenericMsg<M> ReadEnvelope(const web::json::object& body) {
    GenericMsg<M> message;
    message.msgType = RequiredString(body, "msg_type");
    message.header = ParseMessageHeader(body);
    return message;
}

// ---- records of both docks ----

struct PMX_DOCKPROTOCOL_API ErrorElement : GenericMsg<Message::Error> {
    std::uint32_t status_code = 0;
    std::string message;
};
PMX_DOCKPROTOCOL_API web::json::value WriteErrorElement(const ErrorElement& error);
// The serialized error body for a reply with that status and reason.
PMX_DOCKPROTOCOL_API std::string ErrorReplyBody(std::uint32_t statusCode, const std::string& message);

struct PMX_DOCKPROTOCOL_API SayHelloElement : GenericMsg<Message::SayHello> {
    std::string version = "N/A";
    std::string api_version;

    // Reads "version" (absent or empty: "N/A") and "api_version"; the
    // envelope is not read.
    static SayHelloElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

// ---- Oskin dock records ----

struct PMX_DOCKPROTOCOL_API CapabilityElement {
    CapabilityElement() = default;
    CapabilityElement(std::string name, std::map<std::string, std::string> options)
        : name(std::move(name)), options(std::move(options)) {}

    std::string name;
    std::map<std::string, std::string> options;

    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API SetServerInfoElement : GenericMsg<Message::SetServerInfo> {
    std::string dns_ip;
    std::string server_url_type;
    std::string server_primary_url;
    std::string server_secondary_url;
    std::uint32_t server_port = 0;
    std::string tenant_id;
    std::string room_description;
    std::string station_id;

    // Every key required; the envelope is not read.
    static SetServerInfoElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API ConnectionReadyElement : GenericMsg<Message::ConnectionReady> {
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API GetCameraConfigResponseElement : GenericMsg<Message::GetCameraConfigResponse> {
    std::string uri;
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API CameraCapabilitiesElement : GenericMsg<Message::CameraCapabilities> {
    std::vector<CapabilityElement> capabilities;
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API UsbDeviceStatusResponseElement : GenericMsg<Message::UsbDeviceStatusResponse> {
    bool provisioned = false;
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API SetServerInfoResponseElement : GenericMsg<Message::SetServerInfoResponse> {
    bool new_tenant_id = false;
    web::json::value ToJson() const;
};

// ---- Velta dock records: camera to base ----

struct PMX_DOCKPROTOCOL_API DeviceAnnouncementElementUSB : GenericMsg<Message::DeviceAnnouncementUSB> {
    std::string mac_id;
    std::string serial_number;

    static DeviceAnnouncementElementUSB FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

// Sent with empty room and station; the base's answer carries both.
struct PMX_DOCKPROTOCOL_API GetServerInfoElement : GenericMsg<Message::GetServerInfo> {
    std::string room;
    std::string station;

    static GetServerInfoElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API UploadStatusElement : GenericMsg<Message::UploadStatus> {
    UploadLinkStatus upload_link_status = 0;
    std::uint32_t upload_link_percent = 0;

    static UploadStatusElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

// Travels both ways: the camera's charge report and the base's.
struct PMX_DOCKPROTOCOL_API ChargeStatusElement : GenericMsg<Message::ChargeStatus> {
    std::string charge_state;
    std::int32_t charge_ntcfault = 0;
    bool charge_batteryfault = false;
    std::int32_t charge_fault = 0;
    bool charge_boostfault = false;
    bool charge_watchdogfault = false;

    static ChargeStatusElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API RequestBaseLogElement : GenericMsg<Message::RequestBaseLog> {
    std::uint32_t sysTick = 0;

    static RequestBaseLogElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

// ---- Velta dock records: base to camera, and the camera's replies ----

struct PMX_DOCKPROTOCOL_API DeviceAnnouncementElementUSBApproved : GenericMsg<Message::DeviceAnnouncementUSBApproved> {
    std::string ssid;
    std::string psk;
    std::string ip_addr;
    std::string mac_id;  // optional

    static DeviceAnnouncementElementUSBApproved FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

// The approval of a camera that accepts MQTT settings.
static_assert(static_cast<std::uint32_t>(Message::DeviceAnnouncementUSBApproved) == 15);
struct PMX_DOCKPROTOCOL_API DeviceAnnouncementElementUSBApprovedMQTT : GenericMsg<Message::DeviceAnnouncementUSBApproved> {
    DeviceAnnouncementElementUSBApprovedMQTT() = default;
    DeviceAnnouncementElementUSBApprovedMQTT(const DeviceAnnouncementElementUSBApprovedMQTT&) = default;
    DeviceAnnouncementElementUSBApprovedMQTT& operator=(const DeviceAnnouncementElementUSBApprovedMQTT&) =
        default;
    virtual ~DeviceAnnouncementElementUSBApprovedMQTT() = default;

    std::string ssid;
    std::string psk;
    std::string ip_addr;
    std::string mac_id;            // optional
    std::string mqtt_address;      // optional
    std::string mqtt_password;     // optional
    std::string mqtt_certificate;  // optional
    std::uint32_t mqtt_port_number = 0;

    static DeviceAnnouncementElementUSBApprovedMQTT FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API SetIgnitionStateElement : GenericMsg<Message::SetIgnitionState> {
    std::int32_t ignitition_state = 0;  // the base's spelling of the key

    static SetIgnitionStateElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API SetShutdownStateElement : GenericMsg<Message::SetShutdownState> {
    std::int32_t shutdown_state = 0;

    static SetShutdownStateElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API GetUpgradePkgVersionElement : GenericMsg<Message::GetUpgradePkgVersion> {
    std::string fw_type = "unknown";
    std::string version;  // optional

    static GetUpgradePkgVersionElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API GetUpgradePkgElement : GenericMsg<Message::GetUpgradePkg> {
    std::string fw_type = "unknown";

    static GetUpgradePkgElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

struct PMX_DOCKPROTOCOL_API HttpGetResponseElement : GenericMsg<Message::HttpGetResponse> {
    std::string result;
    std::string uri;

    static HttpGetResponseElement FromJson(const web::json::object& body);
    web::json::value ToJson() const;
};

}  // namespace tvo::rest
