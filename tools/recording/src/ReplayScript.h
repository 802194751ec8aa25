#pragma once
// A recording taken apart for its replay: what the dock answers, in order,
// and what the host did; and the differences the replay finds, kept by their
// place in the recording.

#include <Recording/Replay.h>

#include "JsonText.h"

#include <Common/Mutex.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvo::Recording {

struct Scripted {
    std::size_t index = 0;  // place among the recording's events
    web::json::value event;
};

// A request and its reply; no reply when the recording ends before it.
struct Exchange {
    Scripted request;
    std::optional<Scripted> reply;
    // A dock's request is delivered once the host has come past this event.
    std::size_t due = 0;
};

// A host call, or a new protocol object ("object" events), with its return.
struct HostCall {
    Scripted call;
    std::optional<Scripted> result;
};

class Script {
public:
    explicit Script(const Recording& recording);

    const std::vector<HostCall>& HostCalls() const { return calls; }
    const std::vector<Exchange>& Inbound() const { return inbound; }
    // The recorded environment's settings, a JSON object (null when none).
    const web::json::value& Settings() const { return settings; }

    // The dock's answers, each taken once, in the recording's order.
    std::optional<Exchange> NextOutbound();
    std::optional<Scripted> NextIoctl();
    std::optional<Scripted> Next(const std::string& kind);  // "listen", "socket", "connman"
    // A datagram the dock has sent by now: one recorded before `reached`.
    std::optional<Scripted> NextDatagram();
    web::json::value InterfaceAnswer(const std::string& query);
    web::json::value CallbackAnswer(const std::string& op);

    // How far the host has come: events recorded before this may happen.
    void Reach(std::size_t index);
    std::size_t Reached();
    // Waits (in real time, up to the limit) until the host has come past
    // the event and the camera has sent every request recorded before it.
    bool WaitUntilDue(const Exchange& exchange, std::chrono::milliseconds limit);
    // The dock's requests are delivered in order; the host waits (up to the
    // limit) for those recorded before its next call.
    void Delivered();
    bool WaitDelivered(std::size_t before, std::chrono::milliseconds limit);

    // The recording's line of an event, for the reports.
    std::size_t Line(std::size_t index) const { return index < lines.size() ? lines[index] : 0; }

    void Differ(std::size_t index, const std::string& text);
    void Record(std::size_t index, ReplayStep step);
    // The steps and differences, in the recording's order.
    ReplayResult Result();
    // What the dock recorded but the camera never asked for.
    void Leftovers();

private:
    Mutex mutex;
    std::vector<HostCall> calls;
    std::vector<std::size_t> lines;
    std::vector<Exchange> inbound;
    web::json::value settings;
    std::deque<Exchange> outbound PMX_GUARDED_BY(mutex);
    std::map<std::string, std::deque<Scripted>> queues PMX_GUARDED_BY(mutex);
    std::map<std::string, std::deque<web::json::value>> answers PMX_GUARDED_BY(mutex);
    std::map<std::string, web::json::value> lastAnswers PMX_GUARDED_BY(mutex);
    std::size_t reached PMX_GUARDED_BY(mutex) = 0;
    std::size_t delivered PMX_GUARDED_BY(mutex) = 0;
    std::condition_variable_any moved;
    std::vector<std::pair<std::size_t, ReplayStep>> steps PMX_GUARDED_BY(mutex);
    std::vector<std::pair<std::size_t, std::string>> differences PMX_GUARDED_BY(mutex);
};

// A short text of a recorded or replayed result, for the report.
std::string Brief(const web::json::value& value);

}  // namespace tvo::Recording
