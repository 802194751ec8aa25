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

VirtualClock::PlanId VirtualClock::At(Duration when, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex);
    const PlanId plan{std::max(when, now), sequence++};
    planned.emplace(plan, std::move(action));
    return plan;
}

VirtualClock::PlanId VirtualClock::After(Duration delay, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex);
    const PlanId plan{now + std::max(delay, Duration{0}), sequence++};
    planned.emplace(plan, std::move(action));
    return plan;
}

void VirtualClock::Cancel(const PlanId& plan) {
    std::function<void()> dropped;  // destroyed unlocked: it may hold what plans again
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = planned.find(plan);
    if (found != planned.end()) {
        dropped = std::move(found->second);
        planned.erase(found);
    }
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

void VirtualClock::AdvanceTo(Duration when) {
    RunUntil(when);
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
