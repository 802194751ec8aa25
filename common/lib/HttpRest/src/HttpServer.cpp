#include "HttpRest/HttpServer.h"

#include <stdexcept>
#include <utility>

#include "HttpRest/HttpThreadPool.h"
#include "HttpServerImpl.h"
#include "ListenRegistry.h"
#include "Logger/LogClient.h"

namespace tvo {
namespace {

constexpr const char* kSource = "common/lib/HttpRest/src/HttpServer.cpp";

struct Endpoint {
    std::string scheme;
    std::string host;
};

// "http://host" or a bare "host"; throws std::runtime_error for what the
// listener cannot serve.
Endpoint ParseAddress(const std::string& address, int port) {
    if (address.empty()) {
        throw std::runtime_error("no address given");
    }
    const std::string text = address.find("://") == std::string::npos ? "http://" + address : address;
    web::uri parsed;
    try {
        parsed = web::uri(text);
    } catch (const std::exception& e) {
        throw std::runtime_error("bad address '" + address + "': " + e.what());
    }
    const std::string host = parsed.host();
    if (host.empty()) {
        throw std::runtime_error("address '" + address + "' names no host");
    }
    if (host.find(':') != std::string::npos || host.front() == '[') {
        throw std::runtime_error("IPv6 address '" + address + "' cannot be served; use an IPv4 address or host name");
    }
    if (parsed.port() > 0 && parsed.port() != port) {
        throw std::runtime_error("address '" + address + "' carries a port other than " + std::to_string(port));
    }
    if (parsed.scheme() != "http") {
        throw std::runtime_error("scheme of '" + address + "' is not served; only http is");
    }
    return {parsed.scheme(), host};
}

}  // namespace

void HttpServer::Impl::Listen() {
    std::lock_guard<std::mutex> lock(lifecycleMutex);
    if (listener) {
        return;
    }
    if (ssl.useSsl) {
        throw std::runtime_error("TLS was asked for, but this server has no certificate to serve it with");
    }
    if (port < 1 || port > 65535) {
        throw std::runtime_error("port " + std::to_string(port) + " is outside 1..65535");
    }
    const Endpoint endpoint = ParseAddress(address, port);
    web::uri_builder builder;
    builder.set_scheme(endpoint.scheme).set_host(endpoint.host).set_port(port).set_path(path);
    const std::string where = builder.to_string();

    ListenRegistry::Claim(endpoint.host, port);
    try {
        auto opened = std::make_unique<web::http::experimental::listener::http_listener>(builder.to_uri());
        std::weak_ptr<Impl> weak = weak_from_this();
        opened->support([weak](web::http::http_request request) {
            if (auto self = weak.lock()) {
                self->Dispatch(std::move(request));
            }
        });
        opened->open().wait();
        listener = std::move(opened);
        listeningHost = endpoint.host;
    } catch (const std::exception& e) {
        ListenRegistry::Release(endpoint.host, port);
        PMX_LOG(kSource, LogLevel::Error, kLogCategoryRest) << "Cannot listen on " << where << ": " << e.what();
        throw std::runtime_error("cannot listen on " + where + ": " + e.what());
    }
    PMX_LOG(kSource, LogLevel::Info, kLogCategoryRest) << "Listening on " << where;
}

void HttpServer::Impl::Close() {
    std::lock_guard<std::mutex> lock(lifecycleMutex);
    if (!listener) {
        return;
    }
    try {
        listener->close().wait();
    } catch (const std::exception& e) {
        PMX_LOG(kSource, LogLevel::Warning, kLogCategoryRest) << "Closing the listener: " << e.what();
    }
    listener.reset();
    ListenRegistry::Release(listeningHost, port);
    listeningHost.clear();
}

void HttpServer::Impl::WaitForRequests() {
    std::unique_lock<std::mutex> lock(flightMutex);
    flightDone.wait(lock, [this] { return inFlight == 0; });
}

HttpServer::HttpServer(SecurityInterface* /*security*/, const SslConfig& ssl, const std::string& address, int port,
                       const std::string& path)
    : impl(std::make_shared<Impl>()) {
    EnsureHttpThreadPool();
    impl->ssl = ssl;
    impl->address = address;
    impl->port = port;
    impl->path = path;
}

HttpServer::~HttpServer() {
    impl->Close();
    impl->WaitForRequests();
}

void HttpServer::setMessageHandler(MessageHandler handler, HandlerMethodType method) {
    const auto index = static_cast<std::size_t>(method);
    if (index >= Impl::kMethodCount) {
        PMX_LOG(kSource, LogLevel::Error, kLogCategoryRest)
            << "Handler for unknown method value " << static_cast<int>(method) << " ignored";
        return;
    }
    std::lock_guard<std::mutex> lock(impl->handlerMutex);
    impl->handlers[index] = std::move(handler);
}

void HttpServer::listen() { impl->Listen(); }

void HttpServer::close() { impl->Close(); }

void HttpServer::setMaxBodySize(std::size_t bytes) { impl->maxBodySize = bytes; }

}  // namespace tvo
