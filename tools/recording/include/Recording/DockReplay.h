#pragma once
// Plays the dock's side of a recording against a camera over real sockets:
// the camera runs in another process (or as another protocol object here)
// and only the recorded dock is played.
//
//   Velta   the recorded base: its answers to the camera's requests, matched
//           by method, target and order, and its own requests to the
//           camera's server, each once the camera has sent what the
//           recording has before it.
//   Oskin   the base's requests to the camera's server, in order.
//   Pallix  the hellos by UDP at their recorded offsets, and the agent
//           answering the open request.
//   Dravo   the adapter is reached by ioctls inside the camera's process:
//           only its EEPROM image and the handshake are written out.
//   Default nothing crosses.
//
// Each exchange is one line of the log; every reply the camera gives that
// is not the recorded one, and every request it sends that the recording
// does not have next, is a difference.

#include <Recording/Recording.h>

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace tvo::Recording {

struct DockReplayOptions {
    // Where the recorded base or agent serves: IPv4 "ADDR:PORT". Empty: the
    // Velta base on 127.0.0.1:55006, the Pallix agent on 127.0.0.1 at the
    // port its hello names; port 0: the hello's port (Pallix) or a free one.
    std::string listen;
    // The camera's server, "ADDR:PORT" ("[ADDR]:PORT" for IPv6).
    std::string camera = "127.0.0.1:55007";
    // Where the Pallix hellos go: a numeric address, with a scope if needed.
    std::string to = "::1";
    int discoveryPort = 9009;
    // The Dravo adapter's EEPROM image is written here when not empty.
    std::string imageOut;
    // Bounds the whole run.
    std::chrono::milliseconds limit{60000};
    // Recorded pauses longer than this are cut to it.
    std::chrono::milliseconds longestGap{5000};
    // A request the recorded dock left unanswered is held at most this long.
    std::chrono::milliseconds longestHold{5000};
};

struct DockReplayResult {
    std::size_t exchanges = 0;
    // Every difference in the order found; the first is the one that counts.
    std::vector<std::string> differences;
    // Could not even begin: no recording, a dock kind not played, a port in use.
    std::string failure;
    bool Agrees() const { return failure.empty() && differences.empty(); }
};

// Writes one line per exchange, then "N exchanges, M differences", to log.
// Never throws for what the recording holds.
DockReplayResult PlayDock(const Recording& recording, const DockReplayOptions& options, std::ostream& log);

}  // namespace tvo::Recording
