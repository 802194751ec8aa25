#pragma once
// The waits of a road against a real dock: each bounded by the road's time
// limit, showing its progress while it lasts, and ended early by Ctrl-C.

#include "RoadReport.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace dockhost {

// Installs the SIGINT handler that asks the road to stop; the road then ends
// its waits, its objects close their servers as they go, and the tool exits
// with 130.
void CatchInterrupt();
bool Interrupted();
// For tests: as if Ctrl-C had been pressed, or not.
void SetInterrupted(bool interrupted);

enum class WaitEnd { Done, TimedOut, Interrupted };

struct WaitSettings {
    std::chrono::milliseconds limit{30000};
    std::chrono::milliseconds pause{500};  // between two looks at done()
    bool liveLine = false;                 // a terminal: one status line, rewritten
};

// Calls done() until it says yes, the limit passes or Ctrl-C comes. While it
// waits it shows what it waits for: a live line on a terminal, else one line
// a second.
WaitEnd WaitUntil(const std::string& what, const WaitSettings& settings, RoadReport& report,
                  const std::function<bool()>& done);

// Calls onExpiry from a second thread once the limit has passed or Ctrl-C
// came, unless stopped first: for a library call that blocks and can be
// cancelled from another thread.
class Watchdog {
public:
    Watchdog(std::chrono::milliseconds limit, std::function<void()> onExpiry);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Stops the watch; true when onExpiry was called.
    bool Stop();

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool fired = false;
    std::thread thread;  // last: starts once the rest is ready
};

// A step of the road that must pass for the rest to mean anything: when it
// did not, the road stops with the line that says what is missing.
bool Required(RoadReport& report, bool passed, const std::function<std::string()>& missing);

}  // namespace dockhost
