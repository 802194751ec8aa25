#include "HandlerWatch.h"

#include <vector>

namespace tvo::DockSim {

HandlerWatch::~HandlerWatch() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

std::uint64_t HandlerWatch::Begin(std::shared_ptr<VirtualClock> clock, VirtualClock::Duration deadline) {
    std::lock_guard<std::mutex> lock(mutex);
    const std::uint64_t watched = next++;
    running.emplace(watched, Watched{std::move(clock), deadline, std::chrono::steady_clock::now()});
    if (!thread.joinable()) {
        thread = std::thread([this] { Run(); });
    }
    wake.notify_all();
    return watched;
}

void HandlerWatch::End(std::uint64_t watched) {
    std::lock_guard<std::mutex> lock(mutex);
    running.erase(watched);
}

void HandlerWatch::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (running.empty()) {
            wake.wait(lock, [this] { return stopping || !running.empty(); });
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        auto soonest = now + kBlocked;
        std::vector<Watched> blocked;
        for (auto& [id, watched] : running) {
            if (now - watched.since >= kBlocked) {
                blocked.push_back(watched);
                watched.since = now;  // again after as long, if the deadline did not end it
            } else {
                soonest = std::min(soonest, watched.since + kBlocked);
            }
        }
        if (!blocked.empty()) {
            lock.unlock();
            for (const Watched& watched : blocked) {
                // Runs the request's deadline, which times it out.
                watched.clock->AdvanceTo(watched.deadline);
            }
            lock.lock();
            continue;
        }
        wake.wait_until(lock, soonest, [this] { return stopping; });
    }
}

}  // namespace tvo::DockSim
