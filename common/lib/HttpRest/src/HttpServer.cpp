#include "HttpRest/HttpServer.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <utility>

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "HttpRest/HttpThreadPool.h"
#include "HttpServerImpl.h"
#include "ListenRegistry.h"
#include "Logger/LogClient.h"
#include "ServerLoop.h"

namespace tvo {
namespace {

// The host of "http://host[:port][/...]" or of a bare "host"; throws
// std::runtime_error for what the server cannot serve.
std::string HostOf(const std::string& address, int port) {
    if (address.empty()) {
        throw std::runtime_error("no address given");
    }
    std::string rest = address;
    const auto schemeEnd = address.find("://");
    if (schemeEnd != std::string::npos) {
        std::string scheme = address.substr(0, schemeEnd);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
        if (scheme != "http") {
            throw std::runtime_error("scheme of '" + address + "' is not served; only http is");
        }
        rest = address.substr(schemeEnd + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (!rest.empty() && rest.front() == '[') {
        throw std::runtime_error("IPv6 address '" + address + "' cannot be served; use an IPv4 address or host name");
    }
    const auto colon = rest.find(':');
    std::string host = rest.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string portText = rest.substr(colon + 1);
        if (portText.find(':') != std::string::npos) {
            throw std::runtime_error("IPv6 address '" + address +
                                     "' cannot be served; use an IPv4 address or host name");
        }
        if (!portText.empty() && portText != std::to_string(port)) {
            throw std::runtime_error("address '" + address + "' carries a port other than " + std::to_string(port));
        }
    }
    if (host.empty()) {
        throw std::runtime_error("address '" + address + "' names no host");
    }
    return host;
}

boost::asio::ip::address_v4 Resolve(const std::string& host) {
    if (host == "*" || host == "+") {
        return boost::asio::ip::address_v4::any();
    }
    boost::system::error_code ec;
    auto literal = boost::asio::ip::make_address_v4(host, ec);
    if (!ec) {
        return literal;
    }
    boost::asio::io_context io;
    boost::asio::ip::tcp::resolver resolver(io);
    const auto found = resolver.resolve(boost::asio::ip::tcp::v4(), host, "", ec);
    if (ec || found.empty()) {
        throw std::runtime_error("cannot resolve '" + host + "': " + ec.message());
    }
    return found.begin()->endpoint().address().to_v4();
}

}  // namespace

void HttpServer::Impl::Listen() {
    std::lock_guard<std::mutex> lock(lifecycleMutex);
    if (loop) {
        return;
    }
    if (ssl.useSsl) {
        throw std::runtime_error("TLS was asked for, but this server has no certificate to serve it with");
    }
    if (port < 1 || port > 65535) {
        throw std::runtime_error("port " + std::to_string(port) + " is outside 1..65535");
    }
    const std::string host = HostOf(address, port);
    const std::string where =
        "http://" + host + ":" + std::to_string(port) + (path.rfind('/', 0) == 0 ? "" : "/") + path;

    ListenRegistry::Claim(host, port);
    try {
        const boost::asio::ip::tcp::endpoint endpoint(Resolve(host), static_cast<unsigned short>(port));
        auto opened = std::make_shared<ServerLoop>(shared_from_this(), endpoint);
        opened->Start();
        loop = std::move(opened);
        listeningHost = host;
    } catch (const std::exception& e) {
        ListenRegistry::Release(host, port);
        // No log line here: the caller decides whether a failed listen is worth one.
        throw std::runtime_error("cannot listen on " + where + ": " + e.what());
    }
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Listening on " << where;
}

void HttpServer::Impl::Close() {
    std::shared_ptr<ServerLoop> stopping;
    std::shared_ptr<ServerLoop> stoppedByItsHandler;
    {
        std::lock_guard<std::mutex> lock(lifecycleMutex);
        if (loop) {
            stopping = std::move(loop);
            ListenRegistry::Release(listeningHost, port);
            listeningHost.clear();
            if (stopping->OnOwnThread()) {
                stoppedFromItsThread = stopping;
            }
        }
        if (!stopping || !stopping->OnOwnThread()) {
            stoppedByItsHandler = stoppedFromItsThread.lock();
            stoppedFromItsThread.reset();
        }
    }
    // Outside the lock: a handler waited for here may itself close the server.
    if (stopping) {
        stopping->Stop();
    }
    // A handler that closed its own server may still be running; another
    // thread's close (the destructor) returns only once it has finished.
    if (stoppedByItsHandler) {
        stoppedByItsHandler->WaitUntilEnded();
    }
}

HttpServer::Limits HttpServer::Impl::CurrentLimits() {
    std::lock_guard<std::mutex> lock(settingsMutex);
    return limits;
}

HttpServerIF::~HttpServerIF() = default;

std::unique_ptr<HttpServerIF> MakeHttpServer(const HttpServerOptions& options) {
    return std::make_unique<HttpServer>(nullptr, HttpServer::SslConfig{false, false}, options.address, options.port,
                                        options.path);
}

HttpServer::HttpServer(SecurityInterface* /*security*/, const SslConfig& ssl, const std::string& address, int port,
                       const std::string& path)
    : impl(std::make_shared<Impl>(path)) {
    // The server needs no pool thread, but its process does for its clients:
    // the pool's size is settled now, as it always was.
    EnsureHttpThreadPool();
    impl->ssl = ssl;
    impl->address = address;
    impl->port = port;
    impl->path = path;
}

HttpServer::~HttpServer() {
    impl->Close();
}

void HttpServer::setMessageHandler(MessageHandler handler, HandlerMethodType method) {
    impl->routes.setHandler(std::move(handler), method);
}

void HttpServer::listen() {
    impl->Listen();
}

void HttpServer::close() {
    impl->Close();
}

void HttpServer::setMaxBodySize(std::size_t bytes) {
    impl->maxBodySize = bytes;
}

void HttpServer::setLimits(const Limits& limits) {
    std::lock_guard<std::mutex> lock(impl->settingsMutex);
    impl->limits = limits;
}

void HttpServer::setErrorBodyMaker(ErrorBodyMaker maker) {
    impl->routes.setErrorBodyMaker(std::move(maker));
}

}  // namespace tvo
