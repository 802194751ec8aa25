#pragma once
// Time that passes only when someone sleeps on it. A protocol's waits run
// through Sleep, and whatever the simulated peer planned for that time
// happens in order while the clock moves, so tests and benchmarks see every
// wait without spending it. Safe from any thread: the camera's own thread,
// an inbound server's and the simulated network's all move the same clock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace tvo::DockSim {

class VirtualClock {
public:
    using Duration = std::chrono::nanoseconds;

    Duration Now() const;
    // Now() as a point of the steady clock, for a protocol environment.
    std::chrono::steady_clock::time_point TimePoint() const;

    // Which planned action; for Cancel.
    using PlanId = std::pair<Duration, std::uint64_t>;

    // Plans an action for a point in virtual time (never earlier than now).
    PlanId At(Duration when, std::function<void()> action);
    PlanId After(Duration delay, std::function<void()> action);
    // Drops a planned action that has not run yet; nothing when it has.
    void Cancel(const PlanId& plan);

    // Runs what is due at the current time, in the order it was planned.
    void RunDue();
    // Moves the clock forward by interval, running planned actions on the
    // way; an action runs on the sleeper's thread, without the clock locked.
    void Sleep(Duration interval);

    // Moves the clock to when (if later), running what is planned on the
    // way; no one slept, so Slept and Sleeps stay as they are.
    void AdvanceTo(Duration when);

    // What the sleepers asked for: total time and number of sleeps.
    Duration Slept() const;
    std::size_t Sleeps() const;

private:
    void RunUntil(Duration until);

    mutable std::mutex mutex;
    Duration now{0};
    Duration slept{0};
    std::size_t sleeps = 0;
    std::uint64_t sequence = 0;
    std::map<PlanId, std::function<void()>> planned;
};

}  // namespace tvo::DockSim
