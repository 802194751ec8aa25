#include <DockProtocol/DockProtoVelta.h>

#include "DockProtoVeltaImpl.h"
#include "InboundServerLimits.h"
#include "UsbGadgetLink.h"

#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <cpprest/http_msg.h>
#include <cpprest/uri_builder.h>

#include <exception>

namespace tvo {
namespace {

constexpr int kVersionAttempts = 4;
// Polls to wait for the approval after the first announcement, and after later ones.
constexpr std::int32_t kFirstAnnounceWait = 2;
constexpr std::int32_t kAnnounceWait = 6;
// Failures of a kind logged in a row before the rest are suppressed.
constexpr std::uint32_t kLoggedFailures = 3;

using RC = DockProtoIF::ReturnCode;

}  // namespace

// ---- DockProtoVeltaImpl: construction and the server ----

DockProtoVeltaImpl::DockProtoVeltaImpl(const ProtocolEnvironment& environment)
    : logPipePath(environment.velta.logPipe),
      mqttSupportFile(std::make_unique<Path>(environment.files.mqttSupportMarker)),
      endpoints(environment.velta),
      transport(environment.transport),
      files(environment.files),
      pruneProvisionFile(environment.system.pruneProvisionFile),
      toggleConnection(environment.system.toggleConnection) {
    BuildHandlerTables();
}

DockProtoVeltaImpl::~DockProtoVeltaImpl() {
    // The handlers reach into this object: no request may still run when the
    // members below the server go away.
    server.reset();
}

std::string DockProtoVeltaImpl::BaseURI() const {
    web::uri base("http://" + endpoints.baseAddress + ":" + std::to_string(endpoints.basePort));
    web::uri_builder builder(base);
    builder.append_path(endpoints.path, false);
    return builder.to_string();
}

std::string DockProtoVeltaImpl::QueryFor(std::string_view type) {
    return "?type=" + std::string(type);
}

std::unique_ptr<HttpClientIF> DockProtoVeltaImpl::MakeClient(std::chrono::milliseconds timeout) const {
    HttpClientOptions options;
    options.baseUri = BaseURI();
    options.timeout = timeout;
    options.files = files.calls;
    return transport.makeHttpClient(options);
}

std::unique_ptr<HttpServerIF> DockProtoVeltaImpl::MakeServer() {
    auto made = transport.makeHttpServer({"http://" + endpoints.listenAddress, endpoints.listenPort, endpoints.path});
    made->setLimits(InboundHttpLimits(endpoints.inbound));
    // Every answer is 200, whatever processREST made of the request; only an
    // exception (answered by the server) says otherwise.
    for (const auto method : {HttpServer::HandlerMethodType::Put, HttpServer::HandlerMethodType::Get}) {
        made->setMessageHandler(
            [this, method](const std::string& uri, const std::string& body) {
                return std::make_pair(HttpServer::OK, processREST(method, uri, body));
            },
            method);
    }
    return made;
}

std::optional<DockProtoIF::AssociationInfo> DockProtoVeltaImpl::TakeApproval() {
    MutexLock lock(handOver);
    if (!approvalReceived) {
        return std::nullopt;
    }
    approvalReceived = false;
    return approvedAssociation;
}

bool DockProtoVeltaImpl::AnnouncementSent() const {
    MutexLock lock(handOver);
    return announcementSent;
}

void DockProtoVeltaImpl::SetAnnouncementSent(bool sent) {
    MutexLock lock(handOver);
    announcementSent = sent;
}

std::uint32_t DockProtoVeltaImpl::ChargeFault() const {
    MutexLock lock(handOver);
    return chargeFault;
}

void DockProtoVeltaImpl::SetShutdownCallback(ShutdownCallback callback) {
    auto replacement = std::make_shared<const ShutdownCallback>(std::move(callback));
    MutexLock lock(handOver);
    shutdownCallback.swap(replacement);
    // The previous function dies with `replacement`, after the lock is
    // released; a handler still running it holds its own reference.
}

void DockProtoVeltaImpl::SetTerminateBackendCallback(TerminateCallback callback) {
    auto replacement = std::make_shared<const TerminateCallback>(std::move(callback));
    MutexLock lock(handOver);
    terminateBackendCallback.swap(replacement);
}

// ---- DockProtoVelta ----

DockProtoVelta::DockProtoVelta(std::string_view, DockCallbackIF*) : DockProtoVelta(ProtocolEnvironment::Production()) {}

DockProtoVelta::DockProtoVelta(const ProtocolEnvironment& environment)
    : impl(std::make_unique<DockProtoVeltaImpl>(environment)) {}

DockProtoVelta::~DockProtoVelta() = default;

RC DockProtoVelta::DoSayHello() {
    impl->pruneProvisionFile("usb.config", "usb0.config");

    const auto gadget = BringUpUsbGadget(impl->toggleConnection, impl->usbGadgetUp,
                                         impl->helloFailures < kLoggedFailures, PMX_LOG_SITE);
    if (gadget == GadgetLink::Failed) {
        ++impl->helloFailures;
        return RC::Failed;
    }
    if (gadget == GadgetLink::BroughtUp) {
        impl->helloFailures = 0;
    }

    if (!impl->serverCreated) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Instantiate USB REST server and start listening for messages";
        impl->server = impl->MakeServer();
        impl->serverCreated = true;
    }

    try {
        impl->server->listen();
    } catch (const std::exception& e) {
        if (impl->helloFailures < kLoggedFailures) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest)
                << "Failed to set USB Ethernet REST server to listen mode, error: " << e.what();
        }
        ++impl->helloFailures;
        return RC::InProgress;
    }
    impl->helloFailures = 0;

    const std::string hello = rest::SayHelloElement{}.ToJson().serialize();
    for (int attempt = 1; attempt <= kVersionAttempts; ++attempt) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Request Velta Version sent, attempt: " << attempt;
        try {
            const auto client = impl->MakeClient(impl->endpoints.helloTimeout);
            web::http::http_response response =
                client->request("PUT", DockProtoVeltaImpl::QueryFor(rest::SayHelloElement::kType), hello).get();
            response.content_ready().wait();
            const web::json::value answer = response.extract_json().get();
            const auto base = rest::SayHelloElement::FromJson(answer.as_object());
            PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Velta Version: " << base.version;
            break;
        } catch (const std::exception& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Exception: " << e.what();
        }
    }
    return RC::Ok;
}

DockProtoIF::Result<DockProtoIF::AssociationInfo> DockProtoVelta::DoAssociate() {
    if (!impl->AnnouncementSent() && impl->announceCountdown <= 0) {
        rest::DeviceAnnouncementElementUSB announcement;
        announcement.mac_id = impl->wifiMac;
        announcement.serial_number = impl->serialNumber;
        try {
            const auto client = impl->MakeClient(impl->endpoints.requestTimeout);
            client->request("PUT", DockProtoVeltaImpl::QueryFor(announcement.kType), announcement.ToJson().serialize())
                .get();
        } catch (...) {
            if (impl->associateFailures < kLoggedFailures) {
                PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "Failed to send Device Announce USB message to base";
            }
            ++impl->associateFailures;
            return {impl->emptyAssociation, RC::Failed};
        }
        impl->SetAnnouncementSent(true);
        impl->announceCountdown = impl->firstAnnouncement ? kFirstAnnounceWait : kAnnounceWait;
        impl->firstAnnouncement = false;
        return {impl->emptyAssociation, RC::InProgress};
    }

    if (auto approved = impl->TakeApproval()) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received Device Announcement USB Approved message";
        impl->associateFailures = 0;
        impl->firstAnnouncement = true;
        return {std::move(*approved), RC::Ok};
    }

    if (--impl->announceCountdown == 0) {
        impl->SetAnnouncementSent(false);
        if (impl->associateFailures < kLoggedFailures) {
            PMX_LOG(LogLevel::Warning, kLogCategoryRest)
                << "Failed to receive Device Announcement USB Approved message";
        }
        ++impl->associateFailures;
    }
    return {impl->emptyAssociation, RC::InProgress};
}

DockProtoIF::Result<DockProtoIF::ServerInfo> DockProtoVelta::DoGetServerInfo() {
    ServerInfo info = ServerInfo::Neutral();
    info.stationId = "Velta";
    info.roomDescription = "Unknown";
    info.ELLocationType = "Q7 Velta";
    info.serverUrlType = ServerUrlType::LocationOnly;
    try {
        const rest::GetServerInfoElement request;
        const auto client = impl->MakeClient(impl->endpoints.requestTimeout);
        web::http::http_response response =
            client->request("PUT", DockProtoVeltaImpl::QueryFor(request.kType), request.ToJson().serialize()).get();
        response.content_ready().wait();
        const web::json::value answer = response.extract_json().get();
        const auto base = rest::GetServerInfoElement::FromJson(answer.as_object());
        info.roomDescription = base.room;
        info.stationId = base.station;
    } catch (...) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Failed to send Device Announce USB message to base using sane default";
    }
    return {info, RC::Ok};
}

std::string_view DockProtoVelta::DoGetName() {
    return Name;
}

RC DockProtoVelta::DoSetWifiMac(const std::string& mac) {
    impl->wifiMac = mac;
    return RC::Ok;
}

RC DockProtoVelta::DoSetSerialNumber(const std::string& serial) {
    impl->serialNumber = serial;
    return RC::Ok;
}

RC DockProtoVelta::DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) {
    impl->SetShutdownCallback(std::move(callback));
    return RC::Ok;
}

RC DockProtoVelta::DoSetTerminateBackendCallback(std::function<void()> callback) {
    impl->SetTerminateBackendCallback(std::move(callback));
    return RC::Ok;
}

DockProtoIF::Result<std::uint32_t> DockProtoVelta::DoGetChargeFault() {
    return {impl->ChargeFault(), RC::Ok};
}

RC DockProtoVelta::DoBlockProtocol() {
    return RC::NotSupported;
}
RC DockProtoVelta::DoSwitchChannel() {
    return RC::NotSupported;
}
// Requests handed to the host stop through their handles; the blocking ones
// end by their own time limits.
RC DockProtoVelta::DoCancel() {
    return RC::NotSupported;
}

DockProtoIF::Result<DockProtoIF::NetworkConfig> DockProtoVelta::DoProvisionNetwork() {
    return {NetworkConfig{}, RC::NotSupported};
}

DockProtoIF::Result<std::uint32_t> DockProtoVelta::DoGetShutdown() {
    return {0, RC::NotSupported};
}
DockProtoIF::Result<std::uint32_t> DockProtoVelta::DoCheckNetwork() {
    return {0, RC::NotSupported};
}

}  // namespace tvo
