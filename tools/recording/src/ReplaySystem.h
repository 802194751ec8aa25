#pragma once
// The recorded dock on the system seam, and the replay's clock.

#include "ReplayScript.h"

#include <DockProtocol/ProtocolEnvironment.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace tvo::Recording {

// The protocol's pauses move this clock and take no real time.
class VirtualTime {
public:
    void Sleep(std::chrono::nanoseconds interval) {
        if (interval.count() > 0) {
            slept.fetch_add(interval.count(), std::memory_order_relaxed);
        }
    }
    std::chrono::steady_clock::time_point Now() const {
        return start + std::chrono::nanoseconds(slept.load(std::memory_order_relaxed));
    }

private:
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::atomic<std::int64_t> slept{0};
};

void ReplaySystem(SystemEnvironment& system, const std::shared_ptr<Script>& script,
                  const std::shared_ptr<VirtualTime>& time);

}  // namespace tvo::Recording
