#include "RoadWait.h"

#include <csignal>
#include <thread>

namespace dockhost {
namespace {

volatile std::sig_atomic_t interruptFlag = 0;

extern "C" void OnInterrupt(int) {
    interruptFlag = 1;
}

}  // namespace

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking wait of the road returns and looks at the flag.
    ::sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() {
    return interruptFlag != 0;
}

void SetInterrupted(bool interrupted) {
    interruptFlag = interrupted ? 1 : 0;
}

WaitEnd WaitUntil(const std::string& what, const WaitSettings& settings, RoadReport& report,
                  const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    const auto deadline = started + settings.limit;
    auto nextShown = started + std::chrono::seconds(1);
    const auto limitSeconds = std::chrono::duration_cast<std::chrono::seconds>(settings.limit).count();
    for (;;) {
        if (Interrupted()) {
            return WaitEnd::Interrupted;
        }
        if (done()) {
            return WaitEnd::Done;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return WaitEnd::TimedOut;
        }
        if (now >= nextShown) {
            const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - started).count();
            const std::string line =
                "waiting for " + what + ": " + std::to_string(waited) + " s of " + std::to_string(limitSeconds) + " s";
            settings.liveLine ? report.Progress(line) : report.Note(line);
            nextShown += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(settings.pause, deadline - now));
    }
}

Watchdog::Watchdog(std::chrono::milliseconds limit, std::function<void()> onExpiry)
    : thread([this, limit, onExpiry = std::move(onExpiry)] {
          const auto due = std::chrono::steady_clock::now() + limit;
          std::unique_lock<std::mutex> lock(mutex);
          // Ctrl-C only sets a flag: look at it a few times a second.
          while (!stop && !Interrupted() && std::chrono::steady_clock::now() < due) {
              wake.wait_for(lock, std::chrono::milliseconds(100));
          }
          if (!stop) {
              fired = true;
              lock.unlock();
              onExpiry();
          }
      }) {}

Watchdog::~Watchdog() {
    Stop();
}

bool Watchdog::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    wake.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
    return fired;
}

bool Required(RoadReport& report, bool passed, const std::function<std::string()>& missing) {
    if (!passed) {
        report.Stop(Interrupted() ? std::string("interrupted") : missing());
    }
    return passed;
}

}  // namespace dockhost
