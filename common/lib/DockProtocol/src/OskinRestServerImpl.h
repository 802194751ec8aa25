#pragma once
// The camera's REST server on an Oskin dock: routes the base's requests by
// path to one handler per message type and keeps the server information the
// base pushed.

#include <Common/Mutex.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestMessages.h>
#include <HttpRest/HttpServer.h>

#include <cpprest/json.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace tvo {

class DockCallbackIF;
class OskinDockCallbackIF;

class OskinRestServerImpl {
public:
    using ApiVersion = std::optional<std::pair<unsigned int, unsigned int>>;
    using Reply = std::pair<HttpServer::StatusCode, std::string>;
    using Handler = std::function<Reply(const web::json::object& body, const ApiVersion& version)>;

    // Checks the call-back, then listens on the production endpoint; throws
    // when the call-back is of the wrong kind or the server cannot listen.
    explicit OskinRestServerImpl(DockCallbackIF* callback);
    OskinRestServerImpl(DockCallbackIF* callback, const OskinEnvironment& endpoint);
    // As above, with the server made by the transport.
    OskinRestServerImpl(DockCallbackIF* callback, const OskinEnvironment& endpoint,
                        const TransportEnvironment& transport);
    // Stops serving before anything a handler reads goes away.
    ~OskinRestServerImpl();
    OskinRestServerImpl(const OskinRestServerImpl&) = delete;
    OskinRestServerImpl& operator=(const OskinRestServerImpl&) = delete;

    // The dispatch operations registered with the HTTP server.
    Reply ProcessPUT(const std::string& uri, const std::string& body);
    Reply ProcessGET(const std::string& uri, const std::string& body);

    // A non-200 reply: the status with an error record naming it and the message.
    static Reply ErrorReply(HttpServer::StatusCode status, const std::string& message);

    // The "api-version" of the request's query as (major, minor), or nothing
    // when the query does not carry a usable one.
    ApiVersion GetApiVersion(const std::string& uri);

    Reply ProcessSayHello(const web::json::object& body, const ApiVersion& version);
    Reply ProcessConnectionReady(const web::json::object& body, const ApiVersion& version);
    Reply ProcessGetCameraConfig(const web::json::object& body, const ApiVersion& version);
    Reply ProcessGetCameraCapabilities(const web::json::object& body, const ApiVersion& version);
    Reply ProcessUsbDeviceStatus(const web::json::object& body, const ApiVersion& version);
    Reply ProcessSetServerInfo(const web::json::object& body, const ApiVersion& version);

    // The server information the base pushed, shared between the handlers'
    // threads and the host's thread.
    void SetBackendServerInfo(const rest::SetServerInfoElement& info) PMX_EXCLUDES(serverInfoLock);
    void ResetBackendServerInfo() PMX_EXCLUDES(serverInfoLock);
    std::optional<rest::SetServerInfoElement> GetBackendServerInfo() PMX_EXCLUDES(serverInfoLock);

private:
    using HandlerMap = std::unordered_map<std::string, Handler>;
    Reply Dispatch(const HandlerMap& handlers, const char* method, const std::string& uri, const std::string& body);

    std::string versionText;
    std::unique_ptr<HttpServerIF> server;
    OskinDockCallbackIF* callback = nullptr;
    HandlerMap putHandlers;
    HandlerMap getHandlers;
    Mutex serverInfoLock;
    std::optional<rest::SetServerInfoElement> serverInfo PMX_GUARDED_BY(serverInfoLock);
};

}  // namespace tvo
