#include <DockSim/VirtualClock.h>

#include <algorithm>

namespace tvo::DockSim {

VirtualClock::Duration VirtualClock::Now() const {
    std::lock_guard<std::mutex> lock(mutex);
    return now;
}

std::chrono::steady_clock::time_point VirtualClock::TimePoint() const {
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(Now()));
}

void VirtualClock::At(Duration when, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex);
    planned.emplace(std::make_pair(std::max(when, now), sequence++), std::move(action));
}

void VirtualClock::After(Duration delay, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex);
    planned.emplace(std::make_pair(now + std::max(delay, Duration{0}), sequence++), std::move(action));
}

void VirtualClock::RunDue() {
    RunUntil(Now());
}

void VirtualClock::Sleep(Duration interval) {
    Duration until;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++sleeps;
        if (interval.count() > 0) {
            slept += interval;
        }
        until = now + std::max(interval, Duration{0});
    }
    RunUntil(until);
}

VirtualClock::Duration VirtualClock::Slept() const {
    std::lock_guard<std::mutex> lock(mutex);
    return slept;
}

std::size_t VirtualClock::Sleeps() const {
    std::lock_guard<std::mutex> lock(mutex);
    return sleeps;
}

void VirtualClock::RunUntil(Duration until) {
    // An action may plan further ones, also for times already passed over.
    for (;;) {
        std::function<void()> action;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (planned.empty() || planned.begin()->first.first > until) {
                now = std::max(now, until);
                return;
            }
            auto next = planned.extract(planned.begin());
            now = std::max(now, next.key().first);
            action = std::move(next.mapped());
        }
        action();
    }
}

}  // namespace tvo::DockSim
