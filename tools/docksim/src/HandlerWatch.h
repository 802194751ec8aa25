#pragma once
// Watches the in-memory servers' handlers for one that blocks. Virtual time
// moves only when someone sleeps on it; a handler that waits on something
// in real terms (a gate the blocked caller would open) would stop it, and the
// request would never time out. A handler still running after a while of
// real time has its request's deadline brought forward on the virtual clock,
// so the request times out there as the real client's would.

#include <DockSim/VirtualClock.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace tvo::DockSim {

class HandlerWatch {
public:
    // Real time a handler may take before it counts as blocked: long beside
    // any handler's work, even under sanitizers or an emulator.
    static constexpr std::chrono::seconds kBlocked{2};

    HandlerWatch() = default;
    ~HandlerWatch();
    HandlerWatch(const HandlerWatch&) = delete;
    HandlerWatch& operator=(const HandlerWatch&) = delete;

    // A handler starts answering a request whose deadline is at deadline on
    // clock; the returned number ends the watch.
    std::uint64_t Begin(std::shared_ptr<VirtualClock> clock, VirtualClock::Duration deadline);
    void End(std::uint64_t watched);

    // Watches for as long as it lives, however the handler leaves.
    class Scope {
    public:
        Scope(HandlerWatch& watch, std::shared_ptr<VirtualClock> clock, VirtualClock::Duration deadline)
            : watch(watch), watched(watch.Begin(std::move(clock), deadline)) {}
        ~Scope() { watch.End(watched); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HandlerWatch& watch;
        std::uint64_t watched;
    };

private:
    struct Watched {
        std::shared_ptr<VirtualClock> clock;
        VirtualClock::Duration deadline;
        std::chrono::steady_clock::time_point since;
    };
    void Run();

    std::mutex mutex;
    std::condition_variable wake;
    std::map<std::uint64_t, Watched> running;
    std::uint64_t next = 0;
    bool stopping = false;
    std::thread thread;  // started with the first handler
};

}  // namespace tvo::DockSim
