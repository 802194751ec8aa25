// The recorded base answering a camera over a real socket.

#include "DockReplayParts.h"

#include <HttpRest/HttpServer.h>

#include <array>
#include <stdexcept>

namespace tvo::Recording {
namespace {

using web::json::value;
using namespace std::chrono_literals;

// A recorded failure this quick was a refused or broken connection, not a
// camera that waited for its time limit.
constexpr auto kBrokenOff = 500ms;
// Held a little past the recorded wait, so that the camera gives up first.
constexpr auto kHoldMargin = 250ms;

std::string Described(const value& request) {
    return StringField(request, "method") + " " + StringField(request, "target");
}

}  // namespace

RecordedBase::RecordedBase(std::vector<Exchange> outbound, std::string shownPrefix, bool compareBodies, Tally& tally,
                           std::chrono::milliseconds longestHold)
    : outbound(std::move(outbound)),
      shownPrefix(std::move(shownPrefix)),
      compareBodies(compareBodies),
      tally(tally),
      longestHold(longestHold) {}

RecordedBase::~RecordedBase() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    server.reset();
}

void RecordedBase::Listen(const std::string& address, int port) {
    // Served from the root, so that a request outside the recorded path is
    // reported as the difference it is rather than refused unseen.
    server = MakeHttpServer(HttpServerOptions{address, port, ""});
    using Method = HttpServerIF::HandlerMethodType;
    constexpr std::array<std::pair<Method, const char*>, 5> kMethods{{{Method::Delete, "DELETE"},
                                                                      {Method::Post, "POST"},
                                                                      {Method::Put, "PUT"},
                                                                      {Method::Get, "GET"},
                                                                      {Method::Patch, "PATCH"}}};
    for (const auto& [method, name] : kMethods) {
        server->setMessageHandler(
            [this, name = std::string(name)](const std::string& uri, const std::string& body) {
                return Answer(name, uri, body);
            },
            method);
    }
    server->listen();
}

HttpRoutes::Reply RecordedBase::Answer(const std::string& method, const std::string& uri, const std::string& body) {
    const std::string target = "/" + uri;
    std::unique_lock<std::mutex> lock(mutex);
    const std::string number = "request " + std::to_string(++received);
    const std::string sent = method + " " + target;
    // "?type=say_hello" under the base path; the base path itself (the log download) in full.
    const bool under = target.size() > shownPrefix.size() && target.rfind(shownPrefix, 0) == 0;
    const std::string shown = method + " " + (under ? target.substr(shownPrefix.size()) : target);
    const std::string line = "camera -> dock " + shown + ": ";
    if (next >= outbound.size()) {
        tally.Exchanged(line + "answered 404",
                        number + ": the camera sent " + sent + " after the last recorded request");
        return {HttpServerIF::NotFound, "the recording has no such request"};
    }
    // Taken only when it matches: a camera that sends one request too many
    // still meets the recording again at its next one.
    const Exchange& exchange = outbound[next];
    const std::string recorded = Described(exchange.request.event);
    if (recorded != sent) {
        tally.Exchanged(line + "answered 404",
                        number + ": the camera sent " + sent + ", the recording has " + recorded);
        return {HttpServerIF::NotFound, "the recording has " + recorded + " here"};
    }
    ++next;
    const bool sameBody = !compareBodies || SameBody(exchange.request.event, body);
    std::string bodyDifference;
    if (!sameBody) {
        const auto [now, was] = WhereTheyDiffer(body, BytesField(exchange.request.event, "body"));
        bodyDifference = number + ": the camera sent " + sent + " with " + now + ", the recording has " + was;
    }
    if (!exchange.reply || Field(exchange.reply->event, "error")) {
        const std::string why = exchange.reply ? StringField(exchange.reply->event, "error") : "the recording ends";
        tally.Exchanged(line + "held without an answer, as recorded (" + why + ")", bodyDifference);
        lock.unlock();
        return Withhold(exchange);
    }
    const value& reply = exchange.reply->event;
    const auto status = static_cast<HttpServerIF::StatusCode>(IntField(reply, "status", 200));
    std::string answer = BytesField(reply, "body");
    tally.Exchanged(line + "answered as recorded (" + std::to_string(status) + ")", bodyDifference);
    times.push_back(Clock::now());
    lock.unlock();
    changed.notify_all();
    return {status, std::move(answer)};
}

HttpRoutes::Reply RecordedBase::Withhold(const Exchange& exchange) {
    const auto waited =
        exchange.reply
            ? std::chrono::microseconds(std::max<std::int64_t>(0, TimeOf(*exchange.reply) - TimeOf(exchange.request)))
            : std::chrono::microseconds(longestHold);
    std::unique_lock<std::mutex> lock(mutex);
    if (waited < kBrokenOff) {
        // The camera's connection broke off: so it does here. The server
        // drops the reply of a handler that closes it, with every
        // connection; it listens again at once for the camera's next try.
        changed.wait_for(lock, waited, [this] { return stopping; });
        if (!stopping) {
            try {
                server->close();
                server->listen();
            } catch (const std::exception& error) {
                tally.Differed(std::string("the base could not listen again: ") + error.what());
            }
        }
    } else {
        // The camera waited for its time limit; an answer after it is read
        // by nobody, and a later request waits meanwhile.
        const auto hold = std::min<std::chrono::microseconds>(waited + kHoldMargin, longestHold);
        changed.wait_for(lock, hold, [this] { return stopping; });
    }
    times.push_back(Clock::now());
    lock.unlock();
    changed.notify_all();
    return {HttpServerIF::ServiceUnavailable, "the recording has no answer"};
}

bool RecordedBase::WaitAnswered(std::size_t count, Clock::time_point& at) {
    if (count == 0) {
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_until(lock, tally.deadline, [&] { return stopping || times.size() >= count; });
    if (times.size() < count) {
        return false;
    }
    at = times[count - 1];
    return true;
}

void RecordedBase::Leftovers() {
    std::lock_guard<std::mutex> lock(mutex);
    if (next < outbound.size()) {
        tally.Differed("the camera did not send " + std::to_string(outbound.size() - next) +
                       " recorded request(s), the first " + Described(outbound[next].request.event));
    }
}

}  // namespace tvo::Recording
