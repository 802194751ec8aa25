#pragma once
// A recording of one road: everything that crossed the camera's edge while a
// host drove a dock, one JSON object per line. The first line is the header
// ({"recording":"dock-road","version":1,"dock":"Velta",...}); every other line
// is one event with at least "t" (microseconds since the road began),
// "thread" ("host" for the thread that drove the road, "t2", "t3", ... for
// the others in order of appearance) and "kind":
//
//   call / return              the host calls the library / the call's result record
//   callback / callback-return the library calls the host back / the host's answer
//   request / reply            HTTP; "dir" is "out" (camera to dock) or "in" (dock to camera)
//   listen                     an inbound server starts to listen
//   socket                     the discovery socket is opened
//   datagram                   a datagram taken from the discovery socket
//   ioctl                      one ioctl through the seam, with its bytes
//   interface                  a network interface's MAC, state or address
//   connman                    a call to the connection manager
//   hosts                      a change of the hosts file
//
// Readers skip fields they do not know, so that newer recordings stay
// readable as far as they go.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvo::Recording {

// The version this tree writes; a reader takes newer ones as far as it knows them.
constexpr int kVersion = 1;

// Bounds on what a reader takes from a file: a recording comes from the field.
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxEvents = 200000;

// Who a message goes between, for a drawing.
enum class Lane { Host, Camera, Dock, System };

const char* Name(Lane lane);

struct Event {
    std::int64_t t = 0;  // microseconds since the road began
    std::string thread;
    std::string kind;
    Lane from = Lane::Camera;
    Lane to = Lane::Dock;
    // One line for a drawing: "PUT ?type=hello", "200 {\"result\":...", "SayHello -> Ok".
    std::string summary;
    // A failed call, a refused or lost request, an error status, a failing ioctl.
    bool failed = false;
    std::size_t line = 0;  // in the file, from 1
    std::string json;      // the line as it stands, for the full content
};

struct Header {
    int version = 0;
    std::string dock;  // the dock kind the road was run for
    bool simulated = false;
    bool redacted = false;
    std::string json;  // the header line as it stands
};

struct Recording {
    Header header;
    std::vector<Event> events;
    // What the reader could not take, in words, one per problem: a line cut
    // short, a line that is no JSON object, a newer version, a bound reached.
    // The events before a problem are kept.
    std::vector<std::string> problems;
};

// Reads a recording from its text. Never throws for what the text holds.
Recording Parse(std::string_view text);
// Reads a recording file; a file that cannot be read gives one problem.
Recording Read(const std::string& path);

}  // namespace tvo::Recording
