#pragma once
// State of one HttpServer, shared with the connections it is serving: each
// connection holds it, so it outlives the HttpServer object when a handler
// destroys its own server.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "HttpRest/HttpServer.h"

namespace tvo {

class ServerLoop;

struct HttpServer::Impl : std::enable_shared_from_this<HttpServer::Impl> {
    explicit Impl(const std::string& path) : routes(path) {}

    SslConfig ssl;
    std::string address;
    int port = 0;
    std::string path;
    HttpRoutes routes;

    // Open and close.
    std::mutex lifecycleMutex;
    std::shared_ptr<ServerLoop> loop;
    // A loop that one of its own handlers stopped, for another thread's close
    // to wait for that handler. Weak: the loop holds this object.
    std::weak_ptr<ServerLoop> stoppedFromItsThread;
    std::string listeningHost;  // registry key while listening

    std::mutex settingsMutex;
    Limits limits;  // guarded by settingsMutex

    std::atomic<std::size_t> maxBodySize{std::size_t{1024} * 1024};

    void Listen();
    void Close();

    // For the connections (ServerLoop.cpp).
    Limits CurrentLimits();
};

}  // namespace tvo
