#include "ServerLoop.h"

#include <exception>
#include <utility>

#include <boost/asio/post.hpp>

#include "Logger/LogClient.h"
#include "ServerSession.h"

namespace tvo {
namespace {}  // namespace

ServerLoop::ServerLoop(std::shared_ptr<HttpServer::Impl> owner, const boost::asio::ip::tcp::endpoint& endpoint)
    : server(std::move(owner)), limits(server->CurrentLimits()), acceptor(io) {
    acceptor.open(endpoint.protocol());
    acceptor.set_option(boost::asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen();
}

ServerLoop::~ServerLoop() {
    if (thread.joinable()) {
        thread.detach();  // only when Start's caller never stopped it; the thread holds this
    }
}

void ServerLoop::Start() {
    Accept();
    // The thread keeps the loop alive, so that a handler may stop and drop it.
    thread = std::thread([self = shared_from_this()] {
        self->threadId = std::this_thread::get_id();
        try {
            self->io.run();
        } catch (const std::exception& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "HTTP server loop ended: " << e.what();
        }
        {
            std::lock_guard<std::mutex> lock(self->endedMutex);
            self->ended = true;
        }
        self->endedSignal.notify_all();
    });
}

void ServerLoop::WaitUntilEnded() {
    if (OnOwnThread()) {
        return;
    }
    std::unique_lock<std::mutex> lock(endedMutex);
    endedSignal.wait(lock, [this] { return ended; });
}

void ServerLoop::Stop() {
    if (OnOwnThread()) {
        CloseAll();
        io.stop();
        thread.detach();
        return;
    }
    boost::asio::post(io, [self = shared_from_this()] {
        self->CloseAll();
        self->io.stop();
    });
    if (thread.joinable()) {
        thread.join();
    }
}

void ServerLoop::CloseAll() {
    boost::system::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    for (ServerSession* session : sessions) {
        session->Abort();
    }
}

void ServerLoop::Accept() {
    acceptor.async_accept([this](boost::system::error_code ec, boost::asio::ip::tcp::socket socket) {
        if (ec == boost::asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (!ec) {
            if (sessions.size() >= limits.maxConnections) {
                // A log line per refusal would let a flood fill the log.
                if (refused++ % 100 == 0) {
                    PMX_LOG(LogLevel::Warning, kLogCategoryRest)
                        << "Connection refused: " << sessions.size() << " connections open, the limit (" << refused
                        << " refused so far)";
                }
                boost::system::error_code ignored;
                socket.close(ignored);
            } else {
                std::make_shared<ServerSession>(std::move(socket), server, *this, limits)->Start();
            }
        } else {
            // Out of descriptors, most likely: accepting again at once would spin.
            PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "Accept failed: " << ec.message();
            retry.expires_after(std::chrono::milliseconds(100));
            retry.async_wait([this](boost::system::error_code waited) {
                if (!waited) {
                    Accept();
                }
            });
            return;
        }
        Accept();
    });
}

}  // namespace tvo
