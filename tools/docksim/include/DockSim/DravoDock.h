#pragma once
// The dock's side of the ax88179 cradle's block handshake: it presents the six
// 64-byte blocks of a configuration one after another in the EEPROM window,
// moves on when the camera marks a block read, answers the camera's
// resynchronisation, and can be told to misbehave.

#include <DockSim/DravoAdapter.h>
#include <DockSim/VirtualClock.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvo::DockSim {

enum class DockFault {
    Stall,              // leaves the header alone for a while before presenting the block
    RepeatBlock,        // presents the block again once the camera has read it
    SkipBlock,          // presents the following block in its place
    AskResync,          // shows the resync flag for a while before presenting the block
    EarlyReadComplete,  // presents the block already marked read for a while
};

std::string_view FaultName(DockFault fault);  // "stall", "repeat", "skip", "resync", "early-read-complete"
std::optional<DockFault> ParseFault(std::string_view name);

struct DockFaultAt {
    DockFault fault;
    unsigned block;                        // the block whose presentation goes wrong (0 to 5)
    std::chrono::milliseconds lasting{0};  // for the faults that last
};

class DravoDock {
public:
    static constexpr std::size_t kBlockSize = 64;
    static constexpr unsigned kBlockCount = 6;
    using Payload = std::array<unsigned char, kBlockSize * kBlockCount>;

    // reaction: how long the dock takes to notice a camera write.
    DravoDock(DravoAdapter& adapter, VirtualClock& clock, const Payload& payload, std::vector<DockFaultAt> faults,
              std::chrono::milliseconds reaction);

    // Starts a transfer from block 0, as after the camera was put in.
    void PowerUp();
    // The adapter's report of a camera write into the EEPROM.
    void OnCameraWrite(std::uint32_t offset, std::uint32_t length);

    unsigned Acknowledged() const { return acknowledged; }
    bool Finished() const { return acknowledged == kBlockCount; }
    // What happened since the last power-up, with virtual times; for people
    // reading a failed test. Off, it costs nothing (benchmarks).
    const std::vector<std::string>& Trace() const { return trace; }
    void SetTracing(bool on) { tracing = on; }

private:
    void Plan(std::chrono::nanoseconds delay, std::function<void()> step);
    void Present(unsigned block);
    void Show(unsigned block, unsigned char flags);
    void WriteHeader(unsigned char header);
    std::optional<DockFaultAt> TakeFault(DockFault fault, unsigned block);
    void Note(const std::string& text);

    DravoAdapter& adapter;
    VirtualClock& clock;
    Payload payload;
    std::vector<DockFaultAt> faults;
    std::vector<DockFaultAt> pending;
    std::chrono::milliseconds reaction;
    unsigned acknowledged = 0;
    bool resyncAnswered = false;  // the last camera write was a resync, answered
    std::optional<unsigned> presented;
    std::uint64_t generation = 0;
    std::vector<std::string> trace;
    bool tracing = true;
};

}  // namespace tvo::DockSim
