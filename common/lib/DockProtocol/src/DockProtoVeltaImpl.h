#pragma once
// All state of a DockProtoVelta, and the inbound service that the base's
// requests reach. The inbound handlers run on the HTTP server's threads while
// the host calls the protocol object on its own thread; what both sides touch
// is guarded by handOver.

#include <Common/Mutex.h>
#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestMessages.h>
#include <FileSystem/Path.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvo {

class DockProtoVeltaImpl {
public:
    using AssociationInfo = DockProtoIF::AssociationInfo;
    using ShutdownCallback = std::function<void(Shutdown::ShutdownType)>;
    using TerminateCallback = std::function<void()>;
    // Takes the parsed request body, returns the reply body.
    using Handler = std::function<std::string(web::json::value&)>;
    using HandlerTable = std::vector<std::pair<std::string, Handler>>;

    explicit DockProtoVeltaImpl(const ProtocolEnvironment& environment);
    // Stops the server before anything its handlers use goes away.
    ~DockProtoVeltaImpl();
    DockProtoVeltaImpl(const DockProtoVeltaImpl&) = delete;
    DockProtoVeltaImpl& operator=(const DockProtoVeltaImpl&) = delete;

    // "http://<base>:<port>/UsbRest/1.0": every outbound request goes here.
    std::string BaseURI() const;
    // "?type=<type>": the query every outbound request names its message by.
    static std::string QueryFor(std::string_view type);
    // A client for the base address, with the time limit.
    std::unique_ptr<HttpClientIF> MakeClient(std::chrono::milliseconds timeout) const;
    // The inbound server with its PUT and GET handlers; not yet listening.
    std::unique_ptr<HttpServerIF> MakeServer();

    // ---- camera to base: status reports and the base's log ----
    static constexpr std::chrono::milliseconds DefaultVeltaLogRequestTimeout{2000};
    rest::ChargeStatusElement ChargeStatusHelper(DockProtoIF::ChargeStatus status) const;
    // Downloads the base's log to files.baseLogCopy; a failure is only logged.
    void GetVeltaLog();

    // ---- inbound dispatch (VeltaInbound.cpp) ----
    std::string processREST(HttpServer::HandlerMethodType method, std::string uri, std::string body);
    // Cuts the query down to what follows the first "type="; false when there is none.
    static bool ProcessQuery(std::string& query);

    // ---- base to camera: power, shutdown, approval (VeltaInboundPower.cpp) ----
    std::string ProcessDeviceAnnouncementUSBApprovedMessage(web::json::value& body);
    std::string ProcessDeviceAnnouncementElementUSBApprovedMQTTMessage(web::json::value& body);
    std::string ProcessChargeStatusFromDock(web::json::value& body);
    std::string ProcessSetIgnitionState(web::json::value& body);
    std::string ProcessSetShutdownState(web::json::value& body);
    std::string ProcessShutdownNow(web::json::value& body);
    std::string ProcessTerminateBackendProcessing(web::json::value& body);
    bool IsMQTTSupportEnabled() const;

    // ---- base to camera: firmware package and configuration (VeltaInboundFirmware.cpp) ----
    std::string ProcessGetUpgradePkgVersion(web::json::value& body);
    std::string ProcessGetUpgradePkg(web::json::value& body);
    std::string ProcessGetCameraConfig(web::json::value& body);

    // ---- hand-over between the inbound threads and the host's thread ----
    // The approval waiting for Associate, taken out (cleared) in one step.
    std::optional<AssociationInfo> TakeApproval() PMX_EXCLUDES(handOver);
    // Whether an announcement went out that no approval has answered yet.
    bool AnnouncementSent() const PMX_EXCLUDES(handOver);
    void SetAnnouncementSent(bool sent) PMX_EXCLUDES(handOver);
    std::uint32_t ChargeFault() const PMX_EXCLUDES(handOver);
    void SetShutdownCallback(ShutdownCallback callback) PMX_EXCLUDES(handOver);
    void SetTerminateBackendCallback(TerminateCallback callback) PMX_EXCLUDES(handOver);

    // ---- state ----
    std::string wifiMac;
    std::string serialNumber;
    std::unique_ptr<HttpServerIF> server;
    bool usbGadgetUp = false;
    bool serverCreated = false;
    std::string logPipePath;
    const std::string logReadyReply = "\"LogReady\"";
    std::int32_t announceCountdown = 0;
    const AssociationInfo emptyAssociation{};
    std::uint32_t helloFailures = 0;
    std::uint32_t associateFailures = 0;
    bool firstAnnouncement = true;

    // Built by the constructor, only read afterwards.
    HandlerTable putHandlers;
    HandlerTable getHandlers;
    HandlerTable otherHandlers;
    std::unique_ptr<PathIF> mqttSupportFile;

    // Where everything is, from the environment.
    const VeltaEnvironment endpoints;
    const TransportEnvironment transport;
    const FileEnvironment files;
    const std::function<void(std::string_view, std::string_view)> pruneProvisionFile;
    const std::function<connman::ToggleResult(connman::ConnectionType, bool)> toggleConnection;

private:
    void BuildHandlerTables();
    // Writes the granted settings and flags the approval, both under the lock.
    void StoreApproval(const std::function<void(AssociationInfo&)>& grant) PMX_EXCLUDES(handOver);

    mutable Mutex handOver;
    bool approvalReceived PMX_GUARDED_BY(handOver) = false;
    bool announcementSent PMX_GUARDED_BY(handOver) = false;
    AssociationInfo approvedAssociation PMX_GUARDED_BY(handOver);
    std::uint32_t chargeFault PMX_GUARDED_BY(handOver) = 0;
    // Held by pointer so that a handler keeps calling the function it took
    // even when the host replaces it meanwhile.
    std::shared_ptr<const ShutdownCallback> shutdownCallback PMX_GUARDED_BY(handOver);
    std::shared_ptr<const TerminateCallback> terminateBackendCallback PMX_GUARDED_BY(handOver);
};

}  // namespace tvo
