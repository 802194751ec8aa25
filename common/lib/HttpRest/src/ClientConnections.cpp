#include "ClientConnections.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "ClientExchange.h"

namespace tvo {

std::optional<boost::asio::ip::tcp::socket> ClientConnections::TakeIdle() {
    std::optional<boost::asio::ip::tcp::socket> taken;
    {
        std::lock_guard<std::mutex> lock(mutex);
        taken.swap(idle);
    }
    if (!taken) {
        return taken;
    }
    // A peer that closed, or talks out of turn, shows as readable.
    char probe = 0;
    const ssize_t peeked = ::recv(taken->native_handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return taken;
    }
    boost::system::error_code ignored;
    taken->close(ignored);
    return std::nullopt;
}

void ClientConnections::Park(boost::asio::ip::tcp::socket socket) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!closed && !idle) {
            idle.emplace(std::move(socket));
            return;
        }
    }
    boost::system::error_code ignored;
    socket.close(ignored);
}

void ClientConnections::Add(const std::shared_ptr<ClientExchange>& exchange, const std::exception_ptr& ifCancelled) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!cancelledForever) {
            // Finished ones leave as new ones come, so a long-lived client's list stays short.
            live.erase(std::remove_if(live.begin(), live.end(),
                                      [](const std::weak_ptr<ClientExchange>& weak) {
                                          const auto exchange = weak.lock();
                                          return !exchange || exchange->Ended();
                                      }),
                       live.end());
            live.push_back(exchange);
            return;
        }
    }
    exchange->Abort(ifCancelled);
}

void ClientConnections::AbortAll(const std::exception_ptr& why, bool forever) {
    std::vector<std::weak_ptr<ClientExchange>> underWay;
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelledForever = cancelledForever || forever;
        underWay.swap(live);
    }
    for (const auto& weak : underWay) {
        if (const auto exchange = weak.lock()) {
            exchange->Abort(why);
        }
    }
}

void ClientConnections::Close() {
    std::optional<boost::asio::ip::tcp::socket> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        dropped.swap(idle);
    }
}

}  // namespace tvo
