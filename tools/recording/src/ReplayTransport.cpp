#include "ReplayTransport.h"

#include "HttpTarget.h"
#include "WholeFile.h"

#include <Common/DatagramSocket.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/StreamedResponse.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <stdexcept>

namespace tvo::Recording {
namespace {

using web::json::value;

const char* MethodName(HttpServerIF::HandlerMethodType method) {
    static const std::map<HttpServerIF::HandlerMethodType, const char*> kNames{
        {HttpServerIF::HandlerMethodType::Delete, "DELETE"},
        {HttpServerIF::HandlerMethodType::Post, "POST"},
        {HttpServerIF::HandlerMethodType::Put, "PUT"},
        {HttpServerIF::HandlerMethodType::Get, "GET"},
        {HttpServerIF::HandlerMethodType::Patch, "PATCH"}};
    const auto found = kNames.find(method);
    return found == kNames.end() ? "?" : found->second;
}

class ReplayClient : public HttpClientIF {
public:
    ReplayClient(std::shared_ptr<Script> script, const HttpClientOptions& options)
        : script(std::move(script)), target(options.baseUri) {}

    pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                 const std::string&) override {
        const auto exchange = Take(method, target.Of(pathAndQuery), false);
        if (!exchange) {
            return pplx::task_from_exception<web::http::http_response>(
                std::runtime_error("replay: the recording has no such request"));
        }
        const value& reply = exchange->reply->event;
        if (const auto* error = Field(reply, "error")) {
            const std::string what = error->is_string() ? error->as_string() : "no reply";
            if (BoolField(reply, "cancelled")) {
                return pplx::task_from_exception<web::http::http_response>(RequestCancelled(what));
            }
            return pplx::task_from_exception<web::http::http_response>(std::runtime_error(what));
        }
        StreamedResponse response(static_cast<unsigned short>(IntField(reply, "status", 200)));
        if (const auto* headers = Field(reply, "headers"); headers && headers->is_object()) {
            for (const auto& [name, field] : headers->as_object()) {
                if (field.is_string()) {
                    response.AddHeader(name, field.as_string());
                }
            }
        }
        std::string body;
        if (const auto* recorded = Field(reply, "body")) {
            BytesOf(*recorded, body);
        }
        response.Append(body.data(), body.size());
        const std::string bodyError = StringField(reply, "body_error");
        if (bodyError.empty()) {
            response.Finish();
        } else {
            response.Fail(std::make_exception_ptr(std::runtime_error(bodyError)));
        }
        return pplx::task_from_result(response.Response());
    }

    bool download(const std::string& destinationPath) override {
        const auto exchange = Take("GET", target.basePath, true);
        if (!exchange || Field(exchange->reply->event, "error")) {
            return false;
        }
        std::string body;
        const auto* recorded = Field(exchange->reply->event, "body");
        return recorded && BytesOf(*recorded, body) && WriteWholeFile(destinationPath, body);
    }

    void cancel() override {}
    void setMaxReplySize(std::size_t) override {}

private:
    std::shared_ptr<Script> script;
    HttpTarget target;

    // The next recorded request, when it is the one the camera sends.
    std::optional<Exchange> Take(const std::string& method, const std::string& target, bool download) {
        auto exchange = script->NextOutbound();
        const std::string sent = (download ? "download " : "") + method + " " + target;
        if (!exchange) {
            script->Differ(SIZE_MAX, "the camera sent " + sent + " after the last recorded request");
            return std::nullopt;
        }
        const value& request = exchange->request.event;
        const std::string recorded = (BoolField(request, "download") ? "download " : "") +
                                     StringField(request, "method") + " " + StringField(request, "target");
        if (recorded != sent) {
            script->Differ(exchange->request.index, "the camera sent " + sent + ", the recording has " + recorded);
            return std::nullopt;
        }
        if (!exchange->reply) {
            script->Differ(exchange->request.index, "the recording ends before the reply to " + recorded);
            return std::nullopt;
        }
        return exchange;
    }
};

class ReplayServer : public HttpServerIF {
public:
    ReplayServer(std::shared_ptr<Script> script, std::shared_ptr<CameraServers> servers)
        : script(std::move(script)), servers(std::move(servers)) {}
    ~ReplayServer() override { servers->Closed(this); }

    void setMessageHandler(MessageHandler handler, HandlerMethodType method) override {
        handlers[MethodName(method)] = std::move(handler);
        if (listening) {
            Listen();
        }
    }

    void listen() override {
        if (listening) {
            return;
        }
        const auto recorded = script->Next("listen");
        if (recorded) {
            const std::string error = StringField(recorded->event, "error");
            if (!error.empty()) {
                throw std::runtime_error(error);
            }
        }
        listening = true;
        Listen();
    }

    void close() override {
        listening = false;
        servers->Closed(this);
    }
    void setMaxBodySize(std::size_t) override {}
    void setLimits(const Limits&) override {}
    void setErrorBodyMaker(ErrorBodyMaker) override {}

private:
    std::shared_ptr<Script> script;
    std::shared_ptr<CameraServers> servers;
    std::map<std::string, MessageHandler> handlers;
    bool listening = false;

    void Listen() {
        servers->Closed(this);
        for (const auto& [method, handler] : handlers) {
            servers->Listening(this, method, handler);
        }
    }
};

class ReplaySocket : public DatagramSocketIF {
public:
    explicit ReplaySocket(std::shared_ptr<Script> script) : script(std::move(script)) {}

    ReceivedDatagram Receive(std::size_t maxBytes) override {
        ReceivedDatagram datagram;
        const auto next = script->NextDatagram();
        if (!next) {
            datagram.error = EAGAIN;
            return datagram;
        }
        const value& event = next->event;
        if (const std::int64_t error = IntField(event, "errno"); error != 0) {
            datagram.error = static_cast<int>(error);
            return datagram;
        }
        std::string payload;
        if (const auto* recorded = Field(event, "payload")) {
            BytesOf(*recorded, payload);
        }
        datagram.size = static_cast<long>(IntField(event, "size", static_cast<std::int64_t>(payload.size())));
        datagram.payload = payload.substr(0, maxBytes);
        datagram.sender = StringField(event, "sender");
        return datagram;
    }

private:
    std::shared_ptr<Script> script;
};

}  // namespace

void CameraServers::Listening(const void* server, const std::string& method, HttpServerIF::MessageHandler handler) {
    MutexLock lock(mutex);
    routes.push_back({server, method, std::move(handler)});
}

void CameraServers::Closed(const void* server) {
    // Not while its handler answers, unless the handler closes it itself.
    std::unique_lock<std::mutex> wait(delivering, std::defer_lock);
    if (deliverer.load() != std::this_thread::get_id()) {
        wait.lock();
    }
    MutexLock lock(mutex);
    routes.erase(
        std::remove_if(routes.begin(), routes.end(), [&](const Route& route) { return route.server == server; }),
        routes.end());
}

bool CameraServers::Deliver(const std::string& method, const std::string& uri, const std::string& body,
                            std::pair<HttpServerIF::StatusCode, std::string>& reply) {
    std::lock_guard<std::mutex> hold(delivering);
    HttpServerIF::MessageHandler handler;
    {
        MutexLock lock(mutex);
        for (auto route = routes.rbegin(); route != routes.rend(); ++route) {
            if (route->method == method) {
                handler = route->handler;
                break;
            }
        }
    }
    if (!handler) {
        return false;
    }
    deliverer = std::this_thread::get_id();
    try {
        reply = handler(uri, body);
    } catch (const std::exception& error) {
        reply = {HttpServerIF::InternalError, error.what()};
    }
    deliverer = std::thread::id{};
    return true;
}

void ReplayTransport(TransportEnvironment& transport, const std::shared_ptr<Script>& script,
                     const std::shared_ptr<CameraServers>& servers) {
    transport.makeHttpClient = [script](const HttpClientOptions& options) -> std::unique_ptr<HttpClientIF> {
        return std::make_unique<ReplayClient>(script, options);
    };
    transport.makeHttpServer = [script, servers](const HttpServerOptions&) -> std::unique_ptr<HttpServerIF> {
        return std::make_unique<ReplayServer>(script, servers);
    };
    transport.openDiscoverySocket = [script](const std::string&, std::uint16_t) -> std::unique_ptr<DatagramSocketIF> {
        if (const auto recorded = script->Next("socket")) {
            const std::string error = StringField(recorded->event, "error");
            if (!error.empty()) {
                throw DatagramSocketError(error);
            }
        }
        return std::make_unique<ReplaySocket>(script);
    };
}

}  // namespace tvo::Recording
