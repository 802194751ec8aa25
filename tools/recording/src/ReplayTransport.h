#pragma once
// The recorded dock on the transport seam: clients answered from the
// recording, servers whose handlers the replay calls with the dock's
// recorded requests, and a discovery socket that hands out the recorded
// datagrams.

#include "ReplayScript.h"

#include <DockProtocol/ProtocolEnvironment.h>
#include <HttpRest/HttpServer.h>

#include <memory>
#include <thread>

namespace tvo::Recording {

// The camera's servers that listen now, for the dock's requests.
class CameraServers {
public:
    void Listening(const void* server, const std::string& method, HttpServerIF::MessageHandler handler);
    void Closed(const void* server);
    // Calls the handler of the newest listening server for the method;
    // false when none listens for it.
    bool Deliver(const std::string& method, const std::string& uri, const std::string& body,
                 std::pair<HttpServerIF::StatusCode, std::string>& reply);

private:
    struct Route {
        const void* server;
        std::string method;
        HttpServerIF::MessageHandler handler;
    };
    Mutex mutex;
    std::vector<Route> routes PMX_GUARDED_BY(mutex);
    // A server closes only after the request its handler is answering.
    std::mutex delivering;
    std::atomic<std::thread::id> deliverer{};
};

void ReplayTransport(TransportEnvironment& transport, const std::shared_ptr<Script>& script,
                     const std::shared_ptr<CameraServers>& servers);

}  // namespace tvo::Recording
