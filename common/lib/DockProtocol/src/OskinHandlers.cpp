// The Oskin base's six messages, answered through the host's
// OskinDockCallbackIF, and the tenant decision on pushed server information.

#include "DockProtoUsbImpl.h"
#include "OskinRestServerImpl.h"

#include <Common/UUID.h>
#include <DockProtocol/OskinDockCallbackIF.h>
#include <Logger/LogClient.h>

namespace tvo {
namespace {

constexpr const char* kNoCallback = "DockCallbackIF not initialized";
// The API version this camera speaks, sent in the say-hello reply.
constexpr unsigned int kApiMajor = 1;
constexpr unsigned int kApiMinor = 1;

using Reply = OskinRestServerImpl::Reply;
using ApiVersion = OskinRestServerImpl::ApiVersion;

Reply Ok(const web::json::value& record) {
    return {HttpServer::OK, record.serialize()};
}

Reply NoCallbackReply() {
    PMX_LOG(LogLevel::Error, kLogCategoryRest) << kNoCallback;
    return OskinRestServerImpl::ErrorReply(HttpServer::InternalError, kNoCallback);
}

std::string Type(rest::Message message) {
    return std::string(rest::MessageType(message));
}

}  // namespace

Reply OskinRestServerImpl::ProcessSayHello(const web::json::object& body, const ApiVersion&) {
    const auto request = rest::SayHelloElement::FromJson(body);
    PMX_LOG(LogLevel::Info, kLogCategoryRest)
        << "Received " << rest::SayHelloElement::kType << " with version [" << request.version << "]"
        << " and api version [" << request.api_version << "]";

    rest::SayHelloElement reply;
    reply.version = versionText;
    reply.api_version = std::to_string(kApiMajor) + "." + std::to_string(kApiMinor);
    PMX_LOG(LogLevel::Info, kLogCategoryRest)
        << "Sending " << rest::SayHelloElement::kType << " with version [" << reply.version << "]"
        << " and api version [" << reply.api_version << "]";
    return Ok(reply.ToJson());
}

Reply OskinRestServerImpl::ProcessConnectionReady(const web::json::object& body, const ApiVersion&) {
    const auto request = rest::ReadEnvelope<rest::Message::ConnectionReady>(body);
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received " << Type(rest::Message::ConnectionReady);
    if (callback == nullptr) {
        return NoCallbackReply();
    }
    callback->OnConnectionReady();

    rest::ConnectionReadyElement reply;
    reply.header = request.header;
    return Ok(reply.ToJson());
}

Reply OskinRestServerImpl::ProcessGetCameraConfig(const web::json::object& body, const ApiVersion&) {
    rest::ReadEnvelope<rest::Message::GetCameraConfig>(body);
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received " << Type(rest::Message::GetCameraConfig);
    if (callback == nullptr) {
        return NoCallbackReply();
    }
    rest::GetCameraConfigResponseElement reply;
    reply.uri = callback->GetCameraConfigUri();
    if (reply.uri.empty()) {
        constexpr const char* kNoUri = "Failed to get uri for device config";
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << kNoUri;
        return ErrorReply(HttpServer::InternalError, kNoUri);
    }
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Sending " << reply.kType << " with uri [" << reply.uri << "]";
    return Ok(reply.ToJson());
}

Reply OskinRestServerImpl::ProcessGetCameraCapabilities(const web::json::object& body, const ApiVersion&) {
    rest::ReadEnvelope<rest::Message::GetCameraCapabilities>(body);
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received " << Type(rest::Message::GetCameraCapabilities);
    if (callback == nullptr) {
        return NoCallbackReply();
    }
    rest::CameraCapabilitiesElement reply;
    for (auto& capability : callback->GetCameraCapabilities()) {
        reply.capabilities.emplace_back(std::move(capability.name), std::move(capability.options));
    }
    PMX_LOG(LogLevel::Info, kLogCategoryRest)
        << "Sending " << reply.kType << " with number of capabilities [" << reply.capabilities.size() << "]";
    return Ok(reply.ToJson());
}

Reply OskinRestServerImpl::ProcessUsbDeviceStatus(const web::json::object& body, const ApiVersion&) {
    rest::ReadEnvelope<rest::Message::UsbDeviceStatus>(body);
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received " << Type(rest::Message::UsbDeviceStatus);
    if (callback == nullptr) {
        return NoCallbackReply();
    }
    rest::UsbDeviceStatusResponseElement reply;
    reply.provisioned = callback->IsUsbDeviceProvisioned();
    PMX_LOG(LogLevel::Info, kLogCategoryRest)
        << "Sending " << reply.kType << " with value of provisioned [" << (reply.provisioned ? "true" : "false") << "]";
    return Ok(reply.ToJson());
}

Reply OskinRestServerImpl::ProcessSetServerInfo(const web::json::object& body, const ApiVersion&) {
    if (callback == nullptr) {
        return NoCallbackReply();
    }
    // Whatever happens below, the information of an earlier push is no
    // longer the base's word.
    ResetBackendServerInfo();
    const auto request = rest::SetServerInfoElement::FromJson(body);

    const auto status = callback->GetProvisioningStatus();
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "provisioningStatus - provisioned: " << (status.provisioned ? 1 : 0)
                                              << ", currentTenantId: " << status.currentTenantId;
    const std::string requested = DockProtoUsbImpl::CleanTenantId(request.tenant_id);

    rest::SetServerInfoResponseElement reply;
    if (!status.provisioned) {
        SetBackendServerInfo(request);
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Sending " << reply.kType << " with new_tenant_id ["
                                                  << "1"
                                                  << "]";
        reply.new_tenant_id = true;
        return Ok(reply.ToJson());
    }
    if (UUID::IsValid(requested) && UUID::IsEqual(status.currentTenantId, requested) &&
        !UUID::IsEmpty(status.currentTenantId)) {
        SetBackendServerInfo(request);
        PMX_LOG(LogLevel::Info, kLogCategoryRest)
            << "TenantId Match - Sending " << reply.kType << " with new_tenant_id ["
            << "0"
            << "], currentTenantId: " << status.currentTenantId << " and requestedTenantId: " << request.tenant_id;
        reply.new_tenant_id = false;
        return Ok(reply.ToJson());
    }
    if (request.tenant_id.empty() || request.tenant_id == UUID::Nil) {
        constexpr const char* kEmptyTenant = "Empty TenantId";
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << kEmptyTenant;
        return ErrorReply(HttpServer::InternalError, kEmptyTenant);
    }
    PMX_LOG(LogLevel::Error, kLogCategoryRest)
        << "TenantId Mismatch"
        << ", currentTenantId: " << status.currentTenantId << " and requestedTenantId: " << request.tenant_id;
    return ErrorReply(HttpServer::Forbidden, "TenantId Mismatch");
}

}  // namespace tvo
