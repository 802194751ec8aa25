// The recorded dock's own requests, sent to the camera's server over a real
// socket when the recording has them, and their replies held against it.

#include "DockReplayParts.h"

#include <HttpRest/HttpClient.h>

#include <algorithm>
#include <thread>

namespace tvo::Recording {
namespace {

using web::json::value;
using namespace std::chrono_literals;

// A camera that does not answer the dock within this is reported as silent.
constexpr auto kReplyLimit = 10s;

struct Replied {
    int status = 0;  // 0: no reply
    std::string body;
    std::string error;
};

Replied Send(const std::string& baseUri, const value& request, std::chrono::milliseconds limit) {
    const std::string target = StringField(request, "target");
    const std::string pathAndQuery = target.empty() || target[0] == '?' || target[0] == '/' ? target : "/" + target;
    Replied replied;
    try {
        HttpClientOptions options;
        options.baseUri = baseUri;
        options.timeout = limit;
        const auto client = MakeHttpClient(options);
        auto response =
            client->request(StringField(request, "method"), pathAndQuery, BytesField(request, "body")).get();
        replied.status = response.status_code();
        replied.body = response.extract_utf8string(true).get();
    } catch (const std::exception& error) {
        replied.error = error.what();
    }
    return replied;
}

std::string Shown(const Replied& replied) {
    if (replied.status == 0) {
        return "no reply (" + replied.error + ")";
    }
    return std::to_string(replied.status) + (replied.body.empty() ? "" : " " + Short(replied.body));
}

// The reply against the recorded one: the difference in words, or "".
std::string Compare(const Replied& replied, const std::optional<Scripted>& recorded) {
    if (!recorded) {
        return "";  // the recording ends before it: nothing to hold it against
    }
    const value& reply = recorded->event;
    const int status = static_cast<int>(IntField(reply, "status", 0));
    const std::string recordedBody = BytesField(reply, "body");
    const std::string was =
        status == 0 ? "no reply" : std::to_string(status) + (recordedBody.empty() ? "" : " " + Short(recordedBody));
    if (replied.status != status) {
        return "the recording has " + was;
    }
    // A handler that failed is recorded with its status alone.
    if (status == 0 || Field(reply, "error") || SameBody(reply, replied.body)) {
        return "";
    }
    const auto [now, then] = WhereTheyDiffer(replied.body, recordedBody);
    return "the body differs: " + now + ", the recording has " + then;
}

// When the recording has an event before `before`: the time of the latest of
// a request's reply (or the request itself, when its reply came later).
std::int64_t LatestBefore(const Exchange& exchange, std::size_t before) {
    if (exchange.reply && exchange.reply->index < before) {
        return TimeOf(*exchange.reply);
    }
    return TimeOf(exchange.request);
}

}  // namespace

void SendRecorded(const std::vector<Exchange>& inbound, const std::vector<Exchange>& outbound, RecordedBase* base,
                  const std::string& baseUri, const DockReplayOptions& options, Tally& tally) {
    Clock::time_point lastDone = Clock::now();
    std::optional<std::size_t> previous;  // the inbound exchange before
    for (std::size_t i = 0; i < inbound.size(); ++i) {
        const Exchange& exchange = inbound[i];
        const std::size_t at = exchange.request.index;
        const value& request = exchange.request.event;
        const std::string what = StringField(request, "method") + " " + StringField(request, "target");
        const std::string shown = "dock -> camera " + what;
        // The camera's requests recorded before this one come first.
        const auto needed = static_cast<std::size_t>(std::count_if(
            outbound.begin(), outbound.end(), [at](const Exchange& out) { return out.request.index < at; }));
        Clock::time_point reference = lastDone;
        std::int64_t recordedReference = previous ? LatestBefore(inbound[*previous], at) : 0;
        if (needed > 0) {
            Clock::time_point answered{};
            if (!base || !base->WaitAnswered(needed, answered)) {
                tally.Differed("the run ended before the camera sent the " + std::to_string(needed) +
                               " request(s) the recording has before " + what + "; " +
                               std::to_string(inbound.size() - i) + " request(s) of the dock not sent");
                return;
            }
            reference = std::max(reference, answered);
            recordedReference = std::max(recordedReference, LatestBefore(outbound[needed - 1], at));
        }
        const auto due = reference + Gap(TimeOf(exchange.request) - recordedReference, options.longestGap);
        if (due >= tally.deadline) {
            tally.Differed("the run ended before " + what + "; " + std::to_string(inbound.size() - i) +
                           " request(s) of the dock not sent");
            return;
        }
        std::this_thread::sleep_until(due);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(tally.deadline - Clock::now());
        const Replied replied = Send(baseUri, request, std::clamp<std::chrono::milliseconds>(left, 1ms, kReplyLimit));
        lastDone = Clock::now();
        previous = i;
        const std::string difference = Compare(replied, exchange.reply);
        if (difference.empty()) {
            tally.Exchanged(shown + ": " + Shown(replied) + ", as recorded");
        } else {
            tally.Exchanged(shown + ": " + Shown(replied) + ", " + difference,
                            "the dock's " + what + ": the camera answered " + Shown(replied) + ", " + difference);
        }
    }
}

}  // namespace tvo::Recording
