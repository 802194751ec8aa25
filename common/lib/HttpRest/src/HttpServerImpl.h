#pragma once
// State of one HttpServer, shared with the connections it is serving: each
// connection holds it, so it outlives the HttpServer object when a handler
// destroys its own server.

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "HttpRest/HttpServer.h"

namespace tvo {

class ServerLoop;

struct HttpServer::Impl : std::enable_shared_from_this<HttpServer::Impl> {
    static constexpr std::size_t kMethodCount = 5;

    SslConfig ssl;
    std::string address;
    int port = 0;
    std::string path;
    std::string prefix;  // "/" + path without trailing '/': what targets start with

    // Open and close.
    std::mutex lifecycleMutex;
    std::shared_ptr<ServerLoop> loop;
    // A loop that one of its own handlers stopped, for another thread's close
    // to wait for that handler. Weak: the loop holds this object.
    std::weak_ptr<ServerLoop> stoppedFromItsThread;
    std::string listeningHost;  // registry key while listening

    std::mutex settingsMutex;
    std::array<MessageHandler, kMethodCount> handlers;  // guarded by settingsMutex
    ErrorBodyMaker errorBody;                           // guarded by settingsMutex
    Limits limits;                                      // guarded by settingsMutex

    std::atomic<std::size_t> maxBodySize{std::size_t{1024} * 1024};

    void Listen();
    void Close();

    // For the connections (ServerSession.cpp).
    MessageHandler HandlerFor(int methodIndex);
    Limits CurrentLimits();
    std::string ErrorBody(StatusCode status, const std::string& reason);
    // The target relative to the listening path, without the leading '/';
    // false when the target lies outside it.
    bool RelativeUri(const std::string& target, std::string& relative) const;
};

}  // namespace tvo
