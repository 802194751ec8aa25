#pragma once
// State of one HttpServer, shared with the requests it is serving: each
// request's continuation holds it, so it outlives the HttpServer object when
// a reply is still being sent.

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include <cpprest/http_listener.h>

#include "HttpRest/HttpServer.h"

namespace tvo {

struct HttpServer::Impl : std::enable_shared_from_this<HttpServer::Impl> {
    static constexpr std::size_t kMethodCount = 5;

    SslConfig ssl;
    std::string address;
    int port = 0;
    std::string path;

    // Open and close; never taken by request threads, because closing the
    // listener waits for them.
    std::mutex lifecycleMutex;
    std::unique_ptr<web::http::experimental::listener::http_listener> listener;
    std::string listeningHost;  // registry key while listening

    std::mutex handlerMutex;
    std::array<MessageHandler, kMethodCount> handlers;

    std::atomic<std::size_t> maxBodySize{1024 * 1024};

    std::mutex flightMutex;
    std::condition_variable flightDone;
    int inFlight = 0;  // guarded by flightMutex

    void Listen();
    void Close();
    void WaitForRequests();

    // Counts a request as in flight for as long as it lives.
    struct FlightTicket;

    // Entry point of every request (RequestDispatch.cpp).
    void Dispatch(web::http::http_request request);
    MessageHandler HandlerFor(const web::http::method& method);
};

}  // namespace tvo
