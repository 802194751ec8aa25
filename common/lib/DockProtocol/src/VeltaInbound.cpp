// The base's requests to the camera: message type from the query, handler
// from the table of the request's method, body parsed as JSON. Every reply is
// sent with status 200; a parser or handler exception leaves processREST and
// the server answers it.

#include "DockProtoVeltaImpl.h"

#include <Common/Utf8.h>
#include <Logger/LogClient.h>

namespace tvo {
namespace {

constexpr std::string_view kTypeKey = "type=";

}  // namespace

void DockProtoVeltaImpl::BuildHandlerTables() {
    auto entry = [this](rest::Message message, std::string (DockProtoVeltaImpl::*handler)(web::json::value&)) {
        return std::make_pair(std::string(rest::MessageType(message)),
                              Handler([this, handler](web::json::value& body) { return (this->*handler)(body); }));
    };
    using rest::Message;
    putHandlers = {
        entry(Message::DeviceAnnouncementUSBApproved, &DockProtoVeltaImpl::ProcessDeviceAnnouncementUSBApprovedMessage),
        entry(Message::GetUpgradePkgVersion, &DockProtoVeltaImpl::ProcessGetUpgradePkgVersion),
        entry(Message::SetIgnitionState, &DockProtoVeltaImpl::ProcessSetIgnitionState),
        entry(Message::SetShutdownState, &DockProtoVeltaImpl::ProcessSetShutdownState),
        entry(Message::TerminateBackendOperations, &DockProtoVeltaImpl::ProcessTerminateBackendProcessing),
        entry(Message::ShutdownNow, &DockProtoVeltaImpl::ProcessShutdownNow),
        entry(Message::ChargeStatus, &DockProtoVeltaImpl::ProcessChargeStatusFromDock),
    };
    getHandlers = {
        entry(Message::GetUpgradePkg, &DockProtoVeltaImpl::ProcessGetUpgradePkg),
        entry(Message::GetCameraConfig, &DockProtoVeltaImpl::ProcessGetCameraConfig),
    };
}

bool DockProtoVeltaImpl::ProcessQuery(std::string& query) {
    const auto found = query.find(kTypeKey);
    if (found == std::string::npos) {
        return false;
    }
    query.erase(0, found + kTypeKey.size());
    return true;
}

std::string DockProtoVeltaImpl::processREST(HttpServer::HandlerMethodType method, std::string uri, std::string body) {
    const HandlerTable* table = &otherHandlers;
    if (method == HttpServer::HandlerMethodType::Put) {
        table = &putHandlers;
    } else if (method == HttpServer::HandlerMethodType::Get) {
        table = &getHandlers;
    }

    std::string type = HttpServer::getUriQuery(uri);
    if (!ProcessQuery(type)) {
        return R"(Query did not contain a "type=" statement)";
    }
    // The whole rest of the query is the type: "type=a&x=1" names "a&x=1".
    for (const auto& [name, handler] : *table) {
        if (name == type) {
            web::json::value parsed = web::json::value::parse(body);
            // Replies echo the sender's texts, bytes and all; JSON needs UTF-8.
            return ToValidUtf8(handler(parsed));
        }
    }
    const std::string unsupported = "Unsupported message type: " + type;
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << unsupported;
    return ToValidUtf8(unsupported);
}

}  // namespace tvo
