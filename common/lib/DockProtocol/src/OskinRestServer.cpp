// The Oskin REST server: construction, routing by path, the message-type
// check, the API version of the query and the stored server information.

#include "OskinRestServerImpl.h"

#include "InboundServerLimits.h"

#include <Common/Tokenizer.h>
#include <Common/Utf8.h>
#include <Common/VersionInfo.h>
#include <DockProtocol/OskinDockCallbackIF.h>
#include <Logger/LogClient.h>

#include <exception>
#include <stdexcept>

namespace tvo {
namespace {

constexpr std::string_view kApiVersionKey = "api-version=";

using Reply = OskinRestServerImpl::Reply;

// The dispatch serves both methods; its lines name the method's operation.
#define DISPATCH_LOG(function, level)               \
    if (!::tvo::LogClient::LevelIsEnabled(level)) { \
    } else                                          \
        ::tvo::LogClient(::tvo::LogClient::SourceOf(__FILE__), (function), __LINE__, (level), kLogCategoryRest)

}  // namespace

OskinRestServerImpl::Reply OskinRestServerImpl::ErrorReply(HttpServer::StatusCode status, const std::string& message) {
    return {status, rest::ErrorReplyBody(status, message)};
}

OskinRestServerImpl::OskinRestServerImpl(DockCallbackIF* callback)
    : OskinRestServerImpl(callback, ProtocolEnvironment::Production().oskin) {}

OskinRestServerImpl::OskinRestServerImpl(DockCallbackIF* callback, const OskinEnvironment& endpoint)
    : OskinRestServerImpl(callback, endpoint, ProtocolEnvironment::Production().transport) {}

OskinRestServerImpl::OskinRestServerImpl(DockCallbackIF* dockCallback, const OskinEnvironment& endpoint,
                                         const TransportEnvironment& transport)
    : versionText(VersionInfo::GetVersionAndBuildNumberText("")) {
    const auto route = [this](Reply (OskinRestServerImpl::*member)(const web::json::object&, const ApiVersion&)) {
        return [this, member](const web::json::object& body, const ApiVersion& version) {
            return (this->*member)(body, version);
        };
    };
    putHandlers.emplace(rest::MessageType(rest::Message::SayHello), route(&OskinRestServerImpl::ProcessSayHello));
    putHandlers.emplace(rest::MessageType(rest::Message::ConnectionReady),
                        route(&OskinRestServerImpl::ProcessConnectionReady));
    putHandlers.emplace(rest::MessageType(rest::Message::SetServerInfo),
                        route(&OskinRestServerImpl::ProcessSetServerInfo));
    getHandlers.emplace(rest::MessageType(rest::Message::GetCameraConfig),
                        route(&OskinRestServerImpl::ProcessGetCameraConfig));
    getHandlers.emplace(rest::MessageType(rest::Message::GetCameraCapabilities),
                        route(&OskinRestServerImpl::ProcessGetCameraCapabilities));
    getHandlers.emplace(rest::MessageType(rest::Message::UsbDeviceStatus),
                        route(&OskinRestServerImpl::ProcessUsbDeviceStatus));

    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Instantiate USB REST server and start listening for messages";

    if (dockCallback != nullptr) {
        callback = dynamic_cast<OskinDockCallbackIF*>(dockCallback);
        if (callback == nullptr) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Invalid OskinDockCallbackIF";
            throw std::runtime_error("Invalid OskinDockCallbackIF");
        }
    }

    server = transport.makeHttpServer({"http://" + endpoint.listenAddress, endpoint.port, endpoint.path});
    server->setLimits(InboundHttpLimits(endpoint.inbound));
    // The dock reads every non-200 reply as an error record, the server's own too.
    server->setErrorBodyMaker(
        [](HttpServer::StatusCode status, const std::string& reason) { return rest::ErrorReplyBody(status, reason); });
    server->setMessageHandler([this](const std::string& uri, const std::string& body) { return ProcessPUT(uri, body); },
                              HttpServer::HandlerMethodType::Put);
    server->setMessageHandler([this](const std::string& uri, const std::string& body) { return ProcessGET(uri, body); },
                              HttpServer::HandlerMethodType::Get);
    server->listen();
}

OskinRestServerImpl::~OskinRestServerImpl() {
    // The handlers reach into the members below: no request may still run.
    server.reset();
}

Reply OskinRestServerImpl::ProcessPUT(const std::string& uri, const std::string& body) {
    return Dispatch(putHandlers, "ProcessPUT", uri, body);
}

Reply OskinRestServerImpl::ProcessGET(const std::string& uri, const std::string& body) {
    return Dispatch(getHandlers, "ProcessGET", uri, body);
}

Reply OskinRestServerImpl::Dispatch(const HandlerMap& handlers, const char* method, const std::string& uri,
                                    const std::string& body) {
    DISPATCH_LOG(method, LogLevel::Info) << "Received uri: " << uri << " body: " << body;
    const ApiVersion version = GetApiVersion(uri);
    const std::string path = HttpServer::getUriPath(uri);

    const auto handler = handlers.find(path);
    if (handler == handlers.end()) {
        const std::string text = "Unsupported message type " + path;
        DISPATCH_LOG(method, LogLevel::Error) << text;
        return ErrorReply(HttpServer::NotFound, text);
    }

    try {
        const web::json::value parsed = web::json::value::parse(body);
        const web::json::object& object = parsed.as_object();
        const auto type = object.find("msg_type");
        if (type == object.end()) {
            throw web::json::json_exception("Key not found");
        }
        const std::string& msgType = type->second.as_string();
        if (msgType == path) {
            Reply reply = handler->second(object, version);
            // Replies echo the sender's header, bytes and all; JSON needs UTF-8.
            reply.second = ToValidUtf8(reply.second);
            return reply;
        }
        const std::string text =
            "message type mismatch : uri message type [" + path + "] , body message type [" + msgType + "]";
        DISPATCH_LOG(method, LogLevel::Error) << text;
        return ErrorReply(HttpServer::BadRequest, text);
    } catch (const std::exception& e) {
        const std::string text = "Invalid message body " + body;
        DISPATCH_LOG(method, LogLevel::Error) << text << " : " << e.what();
        return ErrorReply(HttpServer::BadRequest, text);
    }
}

OskinRestServerImpl::ApiVersion OskinRestServerImpl::GetApiVersion(const std::string& uri) {
    const std::string query = HttpServer::getUriQuery(uri);
    if (query.empty()) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "query portion is empty in " << uri;
        return std::nullopt;
    }

    std::string value;
    bool found = false;
    for (const auto& piece : Tokenizer(query, '&', true)) {
        if (piece.compare(0, kApiVersionKey.size(), kApiVersionKey) == 0) {
            value = piece.substr(kApiVersionKey.size());
            found = true;
            break;
        }
    }
    if (!found) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "Could not find api-version in " << query;
        return std::nullopt;
    }

    const auto numbers = Tokenizer(value, '.', true);
    if (numbers.size() == 1 || numbers.size() == 2) {
        try {
            // stoul's reading on purpose: bases send "1.1" but also " 2" and "3beta".
            const auto major = static_cast<unsigned int>(std::stoul(numbers[0], nullptr, 10));
            const auto minor =
                numbers.size() == 2 ? static_cast<unsigned int>(std::stoul(numbers[1], nullptr, 10)) : 0u;
            return std::make_pair(major, minor);
        } catch (const std::exception&) {
            // invalid_argument or out_of_range: reported below like a bad shape.
        }
    }
    PMX_LOG(LogLevel::Warning, kLogCategoryRest)
        << "Invalid api-version [" << value << "], treating api-version as not specified";
    return std::nullopt;
}

void OskinRestServerImpl::SetBackendServerInfo(const rest::SetServerInfoElement& info) {
    MutexLock lock(serverInfoLock);
    if (serverInfo) {
        *serverInfo = info;
    } else {
        serverInfo.emplace(info);
    }
}

void OskinRestServerImpl::ResetBackendServerInfo() {
    MutexLock lock(serverInfoLock);
    serverInfo.reset();
}

std::optional<rest::SetServerInfoElement> OskinRestServerImpl::GetBackendServerInfo() {
    MutexLock lock(serverInfoLock);
    return serverInfo;
}

}  // namespace tvo
