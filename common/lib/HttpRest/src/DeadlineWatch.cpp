#include "DeadlineWatch.h"

#include <algorithm>

#include "ClientExchange.h"

namespace tvo {

DeadlineWatch& DeadlineWatch::On(boost::asio::io_context& io) {
    static DeadlineWatch* const watch = new DeadlineWatch(io);
    return *watch;
}

void DeadlineWatch::Watch(const std::shared_ptr<ClientExchange>& exchange) {
    const Clock::time_point deadline = exchange->Deadline();
    std::lock_guard<std::mutex> lock(mutex);
    // The ones that ended go now: a weak pointer holds its exchange's memory.
    // Only the requests under way are left, a handful.
    watched.erase(std::remove_if(watched.begin(), watched.end(),
                                 [](const std::weak_ptr<ClientExchange>& weak) {
                                     const auto alive = weak.lock();
                                     return !alive || alive->Ended();
                                 }),
                  watched.end());
    watched.push_back(exchange);
    if (!armed || deadline < armedFor) {
        ArmLocked(deadline);
    }
}

void DeadlineWatch::ArmLocked(Clock::time_point when) {
    armed = true;
    armedFor = when;
    // Moving the expiry ends the wait under way; its handler finds nothing
    // due, or what is due anyway.
    timer.expires_at(when);
    timer.async_wait([this](const boost::system::error_code& ec) {
        if (ec != boost::asio::error::operation_aborted) {
            Fire();
        }
    });
}

void DeadlineWatch::Fire() {
    std::vector<std::shared_ptr<ClientExchange>> due;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const Clock::time_point now = Clock::now();
        bool any = false;
        Clock::time_point earliest;
        std::vector<std::weak_ptr<ClientExchange>> kept;
        kept.reserve(watched.size());
        for (const auto& weak : watched) {
            auto exchange = weak.lock();
            if (!exchange || exchange->Ended()) {
                continue;
            }
            const Clock::time_point deadline = exchange->Deadline();
            if (deadline <= now) {
                due.push_back(std::move(exchange));
                continue;
            }
            if (!any || deadline < earliest) {
                earliest = deadline;
                any = true;
            }
            kept.push_back(weak);
        }
        watched.swap(kept);
        armed = false;
        if (any) {
            ArmLocked(earliest);
        }
    }
    for (const auto& exchange : due) {
        exchange->TimeOut();
    }
}

}  // namespace tvo
