#include <DockSim/VirtualClock.h>

#include <algorithm>

namespace tvo::DockSim {

void VirtualClock::At(Duration when, std::function<void()> action) {
    planned.emplace(std::make_pair(std::max(when, now), sequence++), std::move(action));
}

void VirtualClock::RunDue() {
    RunUntil(now);
}

void VirtualClock::Sleep(Duration interval) {
    ++sleeps;
    if (interval.count() > 0) {
        slept += interval;
        RunUntil(now + interval);
    } else {
        RunDue();
    }
}

void VirtualClock::RunUntil(Duration until) {
    // An action may plan further ones, also for times already passed over.
    while (!planned.empty() && planned.begin()->first.first <= until) {
        auto next = planned.extract(planned.begin());
        now = next.key().first;
        next.mapped()();
    }
    now = until;
}

}  // namespace tvo::DockSim
