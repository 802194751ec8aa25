#pragma once
// Replays a recording in one process: the recorded dock answers a protocol
// object of the recorded kind, and the host's recorded calls are made on it
// again, in their order; then each result is held against the recording.
//
// The dock's side: each request of the camera gets the recorded reply
// (matched by method, target and order), each ioctl the recorded bytes, the
// discovery socket the recorded datagrams, the connection manager and the
// interface queries their recorded answers. The dock's own requests reach
// the camera's server where the recording has them: before the host call
// that followed them, or during the call they came in. Time is virtual: the
// protocol's pauses take no real time.

#include <Recording/Recording.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tvo::Recording {

struct ReplayOptions {
    // The dock kind to build; empty: the kinds the recording names.
    std::string dock;
    // Where the protocol object keeps its files (the hosts file, the log
    // pipe and copies): an existing folder, used by nothing else meanwhile.
    std::string folder;
};

struct ReplayStep {
    std::string name;      // "SayHello", "dock: PUT ?type=set_shutdown", "callback Shutdown"
    std::string recorded;  // "Ok {..}", "200 Received"
    std::string replayed;
    bool agrees = false;
};

struct ReplayResult {
    std::vector<ReplayStep> steps;  // every host call, dock request and call-back, in order
    // Every difference, the first one (in the recording's order) first.
    std::vector<std::string> differences;
    // What the reader could not take from the recording: it replays as far as it goes.
    std::vector<std::string> notes;
    bool Agrees() const { return differences.empty(); }
};

// Never throws for what the recording holds; a recording with problems
// replays as far as it goes.
ReplayResult Replay(const Recording& recording, const ReplayOptions& options);

}  // namespace tvo::Recording
