#pragma once
// The connection an HttpClient keeps open between its requests, and the
// requests under way (for cancel()). Shared by the client and its exchanges,
// which may outlive it. Thread-safe.

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <boost/asio/ip/tcp.hpp>

namespace tvo {

class ClientExchange;

class ClientConnections {
public:
    // A kept connection that is still good, or none.
    std::optional<boost::asio::ip::tcp::socket> TakeIdle();
    // Keeps the connection for the next request (one at most).
    void Park(boost::asio::ip::tcp::socket socket);

    // Exchanges under way; an exchange added after AbortAll(..., true) is
    // aborted at once.
    void Add(const std::shared_ptr<ClientExchange>& exchange, const std::exception_ptr& ifCancelled);
    void AbortAll(const std::exception_ptr& why, bool forever);

    // The client is gone: no more parking.
    void Close();

private:
    std::mutex mutex;
    std::vector<std::weak_ptr<ClientExchange>> live;
    std::optional<boost::asio::ip::tcp::socket> idle;
    bool closed = false;
    bool cancelledForever = false;
};

}  // namespace tvo
