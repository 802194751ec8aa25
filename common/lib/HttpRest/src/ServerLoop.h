#pragma once
// The thread, the acceptor and the open connections of one listening
// HttpServer. Everything here except Start and Stop runs on that thread.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstddef>
#include <memory>
#include <thread>
#include <unordered_set>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "HttpServerImpl.h"

namespace tvo {

class ServerSession;

class ServerLoop : public std::enable_shared_from_this<ServerLoop> {
public:
    // Binds and listens on endpoint; throws boost::system::system_error.
    ServerLoop(std::shared_ptr<HttpServer::Impl> server, const boost::asio::ip::tcp::endpoint& endpoint);
    ~ServerLoop();
    ServerLoop(const ServerLoop&) = delete;
    ServerLoop& operator=(const ServerLoop&) = delete;

    void Start();
    // Closes the acceptor and every connection. From another thread it waits
    // for the loop's thread to end (a handler running there finishes first);
    // from the loop's own thread it returns at once and the thread ends when
    // the current handler returns.
    void Stop();
    // From another thread: returns once the loop's thread has ended, however
    // it was stopped. From the loop's own thread: returns at once.
    void WaitUntilEnded();

    bool OnOwnThread() const { return std::this_thread::get_id() == threadId.load(); }

    // Connection bookkeeping, from ServerSession.
    void Opened(ServerSession* session) { sessions.insert(session); }
    void Closed(ServerSession* session) { sessions.erase(session); }

private:
    void Accept();
    boost::system::error_code AcceptOne(boost::asio::ip::tcp::socket& socket);
    void CloseAll();

    std::shared_ptr<HttpServer::Impl> server;
    HttpServer::Limits limits;
    // Declared before io: sessions leave it while io's pending work is destroyed.
    std::unordered_set<ServerSession*> sessions;
    std::size_t refused = 0;
    boost::asio::ip::tcp protocol;  // of the listening socket and every accepted one
    boost::asio::io_context io{1};
    boost::asio::ip::tcp::acceptor acceptor;
    boost::asio::steady_timer retry{io};  // after a failed accept (out of descriptors)
    std::thread thread;
    std::atomic<std::thread::id> threadId{};
    std::mutex endedMutex;
    std::condition_variable endedSignal;
    bool ended = false;  // guarded by endedMutex
};

}  // namespace tvo
