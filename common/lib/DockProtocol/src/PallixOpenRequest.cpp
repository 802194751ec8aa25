// The open exchange with the dock's agent: the camera's serial number goes
// out, the server information and the proxy come back.

#include "DockProtoPallixImpl.h"

#include <DockProtocol/RestMessages.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <gsl/util>

#include <cpprest/http_msg.h>
#include <cpprest/json.h>

#include <exception>

namespace tvo {
namespace {

constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kPauseAfterException{500};
constexpr const char* kOpenPath = "/emapi/open";

using RC = DockProtoIF::ReturnCode;
using ServerInfo = DockProtoIF::ServerInfo;

// An optional member: absent reads as empty text, another type throws.
std::string OptionalString(const web::json::object& answer, const std::string& key) {
    const auto found = answer.find(key);
    return found == answer.end() ? std::string() : found->second.as_string();
}

}  // namespace

DockProtoIF::Result<ServerInfo> DockProtoPallixImpl::GetServerInfo() {
    ServerInfo info = ServerInfo::Neutral();
    auto source = std::make_shared<pplx::cancellation_token_source>();
    SetCancellationSource(source);
    // However this call ends, a later Cancel() has nothing left to stop.
    const auto reset = gsl::finally([this] { SetCancellationSource(nullptr); });

    if (agentPort.empty()) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "No agent port from the dock's hello; nothing sent";
        return {info, RC::Failed};
    }
    // Built as a JSON value, so any serial number stays one string.
    web::json::value request = web::json::value::object(false);
    request["did"] = web::json::value::string(serialNumber);
    const std::string body = request.serialize();
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        PMX_LOG(LogLevel::Info, kLogCategoryDock)
            << "Sending open request to Pallix (attempt " << attempt << "/" << kAttempts << ")";
        try {
            HttpClientOptions options;
            options.baseUri = "http://" + settings.dockHostName + ":" + agentPort;
            options.cancel = source;
            // Bound to the USB interface: the dock's link-local address has
            // no scope of its own in the hosts file.
            options.interfaceName = settings.interfaceName;
            options.bindToInterface = true;
            options.verifyTls = false;
            const auto client = transport.makeHttpClient(options);
            const bool parsed = client->request("POST", kOpenPath, body)
                                    .then([this, &info](web::http::http_response response) {
                                        return HandleOpenResponse(response, info);
                                    })
                                    .get();
            if (parsed) {
                PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Successfully parsed open response";
                return {info, RC::Ok};
            }
        } catch (const RequestCancelled& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Exception: " << e.what();
            PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Request canceled, stopping GetServerInfo";
            break;
        } catch (const std::exception& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Exception: " << e.what();
            sleep(kPauseAfterException);
        }
    }
    return {info, RC::Failed};
}

void DockProtoPallixImpl::Cancel() {
    MutexLock lock(mutex);
    if (cancellationSource) {
        cancellationSource->cancel();
    }
}

void DockProtoPallixImpl::SetCancellationSource(std::shared_ptr<pplx::cancellation_token_source> source) {
    // The previous source dies after the lock is released.
    MutexLock lock(mutex);
    cancellationSource.swap(source);
}

pplx::task<bool> DockProtoPallixImpl::HandleOpenResponse(const web::http::http_response& response,
                                                         ServerInfo& info) const {
    if (response.status_code() != web::http::status_codes::OK) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock)
            << "Received an error status in open request: " << response.status_code();
        return pplx::task_from_result(false);
    }
    return response.extract_string().then([this, &info](const std::string& body) {
        PMX_LOG(LogLevel::Info, kLogCategoryDock) << body;
        return ReadOpenAnswer(body, info);
    });
}

bool DockProtoPallixImpl::ReadOpenAnswer(const std::string& body, ServerInfo& info) const {
    const web::json::value parsed = web::json::value::parse(body);
    const web::json::object& answer = parsed.as_object();
    // Written one by one: what an attempt read before failing stays in info.
    info.stationId = answer.at("station_id").as_string();
    info.roomDescription = OptionalString(answer, "room_description");
    info.availableForCheckout = true;
    info.ELLocationType = "Pallix";
    info.slotId = 0;
    info.serverUrlType = answer.at("server_url_type").as_string() == "HOSTNAME" ? DockProtoIF::ServerUrlType::Hostname
                                                                                : DockProtoIF::ServerUrlType::IpAddress;
    info.primaryServerUrl = answer.at("server_primary_url").as_string();
    info.secondaryServerUrl = OptionalString(answer, "server_secondary_url");
    info.port = std::to_string(rest::IntegerInRange(answer.at("server_port"), 1, 65535));
    info.tenantId = answer.at("tenant_id").as_string();
    info.dnsIp = settings.dnsResolver;
    info.useIPv6 = true;

    if (!AddHostName(answer.at("connectHost").as_string(), settings.proxyHostName)) {
        return false;
    }
    info.proxy = "http://" + settings.dockHostName + ":" +
                 std::to_string(rest::IntegerInRange(answer.at("connectPort"), 1, 65535));
    return true;
}

}  // namespace tvo
