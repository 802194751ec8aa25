#pragma once
// The time limits of every request under way, watched by one timer on the
// pool's io_context. A timer of each request's own would cost system calls
// to arm and cancel and a wake-up of the pool for each cancellation; this one
// is armed for the earliest limit and moved only when that passes or an
// earlier one comes.

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

namespace tvo {

class ClientExchange;

class DeadlineWatch {
public:
    // The one watch of the process, on io (the pool's, the same every call).
    // It is never destroyed: requests may be under way until the process ends.
    static DeadlineWatch& On(boost::asio::io_context& io);

    // Watches the exchange until it ends: when its deadline (which it may
    // move on) has passed, the exchange is timed out.
    void Watch(const std::shared_ptr<ClientExchange>& exchange);

private:
    explicit DeadlineWatch(boost::asio::io_context& io) : timer(io) {}

    using Clock = std::chrono::steady_clock;
    void ArmLocked(Clock::time_point when);
    void Fire();

    std::mutex mutex;
    boost::asio::steady_timer timer;  // guarded by mutex
    bool armed = false;
    Clock::time_point armedFor;
    std::vector<std::weak_ptr<ClientExchange>> watched;
};

}  // namespace tvo
