#include "ReplayScript.h"

#include <algorithm>
#include <system_error>

namespace tvo::Recording {

using web::json::value;

namespace {

bool ParseLine(const std::string& json, value& parsed) {
    std::error_code error;
    parsed = value::parse(json, error);
    return !error && parsed.is_object();
}

}  // namespace

std::string Brief(const value& result) {
    std::string text = result.is_string() ? result.as_string() : result.serialize();
    constexpr std::size_t kShown = 200;
    if (text.size() > kShown) {
        text = text.substr(0, kShown) + "...";
    }
    return text;
}

Script::Script(const Recording& recording) {
    std::map<std::int64_t, std::size_t> openCalls;  // id -> place in calls
    std::map<std::int64_t, std::size_t> openOut;    // id -> place in the outbound list
    std::map<std::int64_t, std::size_t> openIn;     // id -> place in inbound
    std::vector<Exchange> out;
    MutexLock lock(mutex);
    for (std::size_t i = 0; i < recording.events.size(); ++i) {
        lines.push_back(recording.events[i].line);
        Scripted scripted{i, {}};
        if (!ParseLine(recording.events[i].json, scripted.event)) {
            continue;
        }
        const value& event = scripted.event;
        const std::string& kind = recording.events[i].kind;
        const std::int64_t id = IntField(event, "id", -1);
        const bool inbound_ = StringField(event, "dir") == "in";
        if (kind == "object" || kind == "call") {
            openCalls[id] = calls.size();
            calls.push_back({scripted, std::nullopt});
        } else if (kind == "return") {
            if (const auto found = openCalls.find(id); found != openCalls.end()) {
                calls[found->second].result = scripted;
                openCalls.erase(found);
            }
        } else if (kind == "request") {
            auto& list = inbound_ ? inbound : out;
            (inbound_ ? openIn : openOut)[id] = list.size();
            list.push_back({scripted, std::nullopt});
        } else if (kind == "reply") {
            auto& open = inbound_ ? openIn : openOut;
            auto& list = inbound_ ? inbound : out;
            if (const auto found = open.find(id); found != open.end()) {
                list[found->second].reply = scripted;
                open.erase(found);
            }
        } else if (kind == "environment" && settings.is_null()) {
            settings = event;
        } else if (kind == "callback-return") {
            const auto* answer = Field(event, "value");
            answers[StringField(event, "op")].push_back(answer ? *answer : value::null());
        } else if (kind == "interface") {
            const auto* answer = Field(event, "value");
            // By query alone: the replay's interfaces have names of its own.
            answers["interface " + StringField(event, "query")].push_back(answer ? *answer : value::null());
        } else if (kind == "connman" && StringField(event, "call") == "toggle") {
            queues["toggle"].push_back(scripted);
        } else if (kind == "ioctl" || kind == "listen" || kind == "socket" || kind == "datagram") {
            queues[kind].push_back(scripted);
        }
    }
    // A dock's request whose handling overlapped a host call, with no request
    // of the camera in that call before it, may have raced the call's own
    // checks: it is delivered after the call, where it cannot change what
    // the call answers. After a request of the camera, it follows that.
    for (auto& exchange : inbound) {
        const std::size_t at = exchange.request.index;
        const std::size_t end = exchange.reply ? exchange.reply->index : at;
        exchange.due = at;
        for (const auto& call : calls) {
            if (!call.result) {
                continue;
            }
            const auto within = [&call](std::size_t index) {
                return index > call.call.index && index < call.result->index;
            };
            if (!within(at) && !within(end)) {
                continue;
            }
            const bool afterRequest = std::any_of(out.begin(), out.end(), [&](const Exchange& sent) {
                return sent.request.index > call.call.index && sent.request.index < at;
            });
            if (!afterRequest) {
                exchange.due = std::max(exchange.due, call.result->index);
            }
        }
    }
    outbound.assign(out.begin(), out.end());
}

std::optional<Exchange> Script::NextOutbound() {
    MutexLock lock(mutex);
    if (outbound.empty()) {
        return std::nullopt;
    }
    Exchange next = std::move(outbound.front());
    outbound.pop_front();
    moved.notify_all();
    return next;
}

std::optional<Scripted> Script::Next(const std::string& kind) {
    MutexLock lock(mutex);
    auto& queue = queues[kind];
    if (queue.empty()) {
        return std::nullopt;
    }
    Scripted next = std::move(queue.front());
    queue.pop_front();
    return next;
}

std::optional<Scripted> Script::NextIoctl() {
    return Next("ioctl");
}

std::optional<Scripted> Script::NextDatagram() {
    MutexLock lock(mutex);
    auto& queue = queues["datagram"];
    if (queue.empty() || queue.front().index >= reached) {
        return std::nullopt;
    }
    Scripted next = std::move(queue.front());
    queue.pop_front();
    return next;
}

value Script::InterfaceAnswer(const std::string& query) {
    return CallbackAnswer("interface " + query);
}

value Script::CallbackAnswer(const std::string& op) {
    MutexLock lock(mutex);
    auto& queue = answers[op];
    if (queue.empty()) {
        // Asked more often than recorded: the last answer again.
        const auto last = lastAnswers.find(op);
        return last == lastAnswers.end() ? value::null() : last->second;
    }
    value next = std::move(queue.front());
    queue.pop_front();
    lastAnswers[op] = next;
    return next;
}

void Script::Reach(std::size_t index) {
    {
        MutexLock lock(mutex);
        reached = std::max(reached, index);
    }
    moved.notify_all();
}

bool Script::WaitUntilDue(const Exchange& exchange, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const std::size_t index = exchange.request.index;
    MutexLock lock(mutex);
    // Once the host is done, nothing the camera still owes is waited for.
    while (!(reached > exchange.due &&
             (reached == SIZE_MAX || outbound.empty() || outbound.front().request.index > index))) {
        if (moved.wait_until(mutex, deadline) == std::cv_status::timeout) {
            return false;
        }
    }
    return true;
}

void Script::Delivered() {
    {
        MutexLock lock(mutex);
        ++delivered;
    }
    moved.notify_all();
}

bool Script::WaitDelivered(std::size_t before, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    MutexLock lock(mutex);
    while (delivered < inbound.size() && inbound[delivered].due < before) {
        if (moved.wait_until(mutex, deadline) == std::cv_status::timeout) {
            return false;
        }
    }
    return true;
}

std::size_t Script::Reached() {
    MutexLock lock(mutex);
    return reached;
}

void Script::Differ(std::size_t index, const std::string& text) {
    MutexLock lock(mutex);
    differences.emplace_back(index, (index < lines.size() ? "line " + std::to_string(lines[index]) + ": " : "") + text);
}

void Script::Record(std::size_t index, ReplayStep step) {
    MutexLock lock(mutex);
    steps.emplace_back(index, std::move(step));
}

void Script::Leftovers() {
    MutexLock lock(mutex);
    if (!outbound.empty()) {
        const auto& first = outbound.front().request;
        differences.emplace_back(first.index, "the camera did not send " + std::to_string(outbound.size()) +
                                                  " recorded request(s), the first " +
                                                  StringField(first.event, "method") + " " +
                                                  StringField(first.event, "target"));
    }
    if (!queues["ioctl"].empty()) {
        const auto& first = queues["ioctl"].front();
        differences.emplace_back(first.index, "the camera did not make " + std::to_string(queues["ioctl"].size()) +
                                                  " recorded ioctl(s), the first " +
                                                  StringField(first.event, "request") + " " +
                                                  StringField(first.event, "cmd"));
    }
}

ReplayResult Script::Result() {
    MutexLock lock(mutex);
    const auto byPlace = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(steps.begin(), steps.end(), byPlace);
    std::stable_sort(differences.begin(), differences.end(), byPlace);
    ReplayResult result;
    for (auto& step : steps) {
        result.steps.push_back(step.second);
    }
    for (auto& difference : differences) {
        result.differences.push_back(difference.second);
    }
    return result;
}

}  // namespace tvo::Recording
