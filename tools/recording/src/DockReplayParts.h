#pragma once
// The pieces of a dock's replay over real sockets: the tally every piece
// reports to, the recorded base that answers the camera, the sender of the
// dock's own requests, the Pallix hellos and the Dravo image.

#include <Recording/DockReplay.h>

#include "ReplayScript.h"

#include <HttpRest/HttpServer.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tvo::Recording {

using Clock = std::chrono::steady_clock;

// The exchanges and differences of one run, and the log they go to.
class Tally {
public:
    Tally(std::ostream& log, Clock::time_point deadline) : deadline(deadline), log(log) {}

    // One exchange; a non-empty difference makes it one that differs.
    void Exchanged(const std::string& line, const std::string& difference = {});
    // A difference that is no exchange: something the camera never sent.
    void Differed(const std::string& difference);
    void Say(const std::string& line);
    DockReplayResult Result();

    const Clock::time_point deadline;

private:
    std::mutex mutex;
    std::ostream& log;
    DockReplayResult result;
};

// "ADDR:PORT" or "[ADDR]:PORT"; false when it is neither.
bool SplitHostPort(const std::string& text, std::string& host, int& port);
// Microseconds since the road began, of a recorded event.
std::int64_t TimeOf(const Scripted& scripted);
// The recorded bytes of a body or payload field ("" when absent).
std::string BytesField(const web::json::value& event, const char* name);
// Whether bytes are the ones recorded, a digest of a large body included.
bool SameBody(const web::json::value& event, const std::string& bytes);
// A body cut to a length fit for one line.
std::string Short(const std::string& body);
// Both bodies from a little before the first byte where they differ, each
// cut to a length fit for one line: "sent ..., the recording has ...".
std::pair<std::string, std::string> WhereTheyDiffer(const std::string& one, const std::string& other);
// A recorded pause cut to the longest one played.
std::chrono::microseconds Gap(std::int64_t micros, std::chrono::milliseconds longest);

// The recorded base (or agent): answers each request of the camera with the
// recorded reply when it is the next one the recording has.
class RecordedBase {
public:
    // shownPrefix: cut from targets in the log lines ("/UsbRest/1.0").
    RecordedBase(std::vector<Exchange> outbound, std::string shownPrefix, bool compareBodies, Tally& tally,
                 std::chrono::milliseconds longestHold);
    // Stops serving; a held request is let go first.
    ~RecordedBase();
    RecordedBase(const RecordedBase&) = delete;
    RecordedBase& operator=(const RecordedBase&) = delete;

    // Serves on address:port; throws std::runtime_error when it cannot.
    void Listen(const std::string& address, int port);
    // Waits until the camera has been answered count times, up to the
    // deadline; false when it has not been. at: the moment of that answer
    // (left as it is for none).
    bool WaitAnswered(std::size_t count, Clock::time_point& at);
    // Reports the recorded requests the camera never sent.
    void Leftovers();
    std::size_t Recorded() const { return outbound.size(); }

private:
    HttpRoutes::Reply Answer(const std::string& method, const std::string& uri, const std::string& body);
    HttpRoutes::Reply Withhold(const Exchange& exchange);

    const std::vector<Exchange> outbound;
    const std::string shownPrefix;
    const bool compareBodies;
    Tally& tally;
    const std::chrono::milliseconds longestHold;
    std::unique_ptr<HttpServerIF> server;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t received = 0;              // requests of the camera, matched or not
    std::size_t next = 0;                  // the next recorded one
    std::vector<Clock::time_point> times;  // of each answer given
    bool stopping = false;
};

// The recorded dock's own requests to the camera's server at baseUri
// ("http://host:port/path"), each when the recording has it: after the
// camera's requests recorded before it (when base is given) and the
// recorded pause since the exchange before it.
void SendRecorded(const std::vector<Exchange>& inbound, const std::vector<Exchange>& outbound, RecordedBase* base,
                  const std::string& baseUri, const DockReplayOptions& options, Tally& tally);

// The agent's port a Pallix hello names ("acsp=40000"), or 0.
int HelloPort(const std::string& payload);
// Sends the recorded hellos at their recorded offsets from start.
void SendHellos(const std::vector<Scripted>& datagrams, std::int64_t since, Clock::time_point start,
                const DockReplayOptions& options, Tally& tally);

// The Dravo handshake as text, and the EEPROM image its reads give.
void ShowDravo(const std::vector<Scripted>& ioctls, const DockReplayOptions& options, Tally& tally);

}  // namespace tvo::Recording
