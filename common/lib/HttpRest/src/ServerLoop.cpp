#include "ServerLoop.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <utility>

#include <boost/asio/post.hpp>

#include "Logger/LogClient.h"
#include "ServerSession.h"

namespace tvo {
namespace {

// Asio opens its sockets without close-on-exec: a child the host starts would
// keep the port bound. The listening socket is opened here instead, at once
// close-on-exec, so no fork on another thread can catch it without.
int OpenListeningSocket(const boost::asio::ip::tcp& protocol) {
    const int fd = ::socket(protocol.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        // GCOVR_EXCL_START: out of descriptors, the loop's own io_context fails before this
        throw boost::system::system_error(errno, boost::system::system_category(), "socket");
        // GCOVR_EXCL_STOP
    }
    return fd;
}

}  // namespace

ServerLoop::ServerLoop(std::shared_ptr<HttpServer::Impl> owner, const boost::asio::ip::tcp::endpoint& endpoint)
    : server(std::move(owner)), limits(server->CurrentLimits()), protocol(endpoint.protocol()), acceptor(io) {
    const int fd = OpenListeningSocket(endpoint.protocol());
    boost::system::error_code assigned;
    acceptor.assign(endpoint.protocol(), fd, assigned);
    if (assigned) {
        // GCOVR_EXCL_START: a socket just opened is always one Asio takes
        ::close(fd);
        throw boost::system::system_error(assigned, "assign");
        // GCOVR_EXCL_STOP
    }
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
            // GCOVR_EXCL_START: every handler catches its own; only an allocation failure ends here
        } catch (const std::exception& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "HTTP server loop ended: " << e.what();
        }
        // GCOVR_EXCL_STOP
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

// Accepts with accept4 so that a connection is close-on-exec from its first
// moment, as the listening socket is.
boost::system::error_code ServerLoop::AcceptOne(boost::asio::ip::tcp::socket& socket) {
    const int fd = ::accept4(acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return {errno, boost::system::system_category()};
    }
    boost::system::error_code assigned;
    socket.assign(protocol, fd, assigned);
    if (assigned) {
        ::close(fd);  // GCOVR_EXCL_LINE: a socket just accepted is always one Asio takes
    }
    return assigned;
}

void ServerLoop::Accept() {
    acceptor.async_wait(boost::asio::ip::tcp::acceptor::wait_read, [this](boost::system::error_code ec) {
        if (ec == boost::asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        boost::asio::ip::tcp::socket socket(io);
        if (!ec) {
            ec = AcceptOne(socket);
        }
        if (ec == boost::asio::error::would_block || ec == boost::asio::error::try_again ||
            ec == boost::asio::error::connection_aborted) {
            Accept();  // the peer gave up before we took it
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
