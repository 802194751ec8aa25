#include <DockSim/DravoDock.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace tvo::DockSim {
namespace {

// The cradle's EEPROM map, stated here independently of the camera's code.
constexpr std::uint32_t kWindow = 0x1E;
constexpr std::uint32_t kHeader = 0x70;
constexpr unsigned char kIdMask = 0x07;
constexpr unsigned char kLast = 0x08;
constexpr unsigned char kReadComplete = 0x10;
constexpr unsigned char kResync = 0x20;

struct FaultText {
    DockFault fault;
    std::string_view name;
};
constexpr FaultText kFaultNames[] = {
    {DockFault::Stall, "stall"},
    {DockFault::RepeatBlock, "repeat"},
    {DockFault::SkipBlock, "skip"},
    {DockFault::AskResync, "resync"},
    {DockFault::EarlyReadComplete, "early-read-complete"},
};

}  // namespace

std::string_view FaultName(DockFault fault) {
    for (const auto& entry : kFaultNames) {
        if (entry.fault == fault) {
            return entry.name;
        }
    }
    return "unknown";
}

std::optional<DockFault> ParseFault(std::string_view name) {
    for (const auto& entry : kFaultNames) {
        if (entry.name == name) {
            return entry.fault;
        }
    }
    return std::nullopt;
}

DravoDock::DravoDock(DravoAdapter& adapter, VirtualClock& clock, const Payload& payload,
                     std::vector<DockFaultAt> faults, std::chrono::milliseconds reaction)
    : adapter(adapter), clock(clock), payload(payload), faults(std::move(faults)), reaction(reaction) {}

void DravoDock::PowerUp() {
    acknowledged = 0;
    resyncAnswered = false;
    presented.reset();
    trace.clear();
    pending = faults;
    Note("power up");
    // Nothing to read until the first block is out.
    WriteHeader(kReadComplete);
    Plan(std::chrono::nanoseconds(0), [this] { Present(0); });
}

void DravoDock::OnCameraWrite(std::uint32_t offset, std::uint32_t length) {
    if (offset > kHeader || offset + length <= kHeader) {
        return;  // the counter and the status bytes need no answer
    }
    const unsigned char header = adapter.Eeprom()[kHeader];
    if (header & kResync) {
        // First the block after the last one read (the camera lost one);
        // if the camera refuses that too, it started over: so does the dock.
        if (resyncAnswered) {
            Note("camera asks to resynchronise again: starting over");
            acknowledged = 0;
        } else {
            Note("camera asks to resynchronise");
        }
        resyncAnswered = true;
        Plan(reaction, [this] { Present(acknowledged); });
        return;
    }
    if (!(header & kReadComplete) || !presented || (header & kIdMask) != (*presented & kIdMask)) {
        Note("camera header ignored");
        return;
    }
    const unsigned read = *presented;
    resyncAnswered = false;
    acknowledged = std::max(acknowledged, read + 1);
    if (tracing) {
        Note("camera read block " + std::to_string(read));
    }
    if (Finished()) {
        Note("transfer complete");
        return;
    }
    if (TakeFault(DockFault::RepeatBlock, read)) {
        Plan(reaction, [this, read] { Show(read, 0); });
        return;
    }
    Plan(reaction, [this] { Present(acknowledged); });
}

void DravoDock::Plan(std::chrono::nanoseconds delay, std::function<void()> step) {
    // A newer plan supersedes one still waiting.
    const auto mine = ++generation;
    clock.After(delay, [this, mine, step = std::move(step)] {
        if (mine == generation) {
            step();
        }
    });
}

void DravoDock::Present(unsigned block) {
    if (block >= kBlockCount) {
        return;
    }
    if (auto fault = TakeFault(DockFault::Stall, block)) {
        if (tracing) {
            Note("stalls before block " + std::to_string(block));
        }
        Plan(fault->lasting, [this, block] { Present(block); });
        return;
    }
    if (auto fault = TakeFault(DockFault::AskResync, block)) {
        WriteHeader(static_cast<unsigned char>((block & kIdMask) | kResync));
        Plan(fault->lasting, [this, block] { Present(block); });
        return;
    }
    if (TakeFault(DockFault::SkipBlock, block) && block + 1 < kBlockCount) {
        Show(block + 1, 0);
        return;
    }
    if (auto fault = TakeFault(DockFault::EarlyReadComplete, block)) {
        Show(block, kReadComplete);
        Plan(fault->lasting, [this, block] { Show(block, 0); });
        return;
    }
    Show(block, 0);
}

void DravoDock::Show(unsigned block, unsigned char flags) {
    auto& eeprom = adapter.Eeprom();
    std::memcpy(eeprom.data() + kWindow, payload.data() + kBlockSize * block, kBlockSize);
    presented = block;
    const bool last = block + 1 == kBlockCount;
    WriteHeader(static_cast<unsigned char>((block & kIdMask) | (last ? kLast : 0) | flags));
}

void DravoDock::WriteHeader(unsigned char header) {
    auto& eeprom = adapter.Eeprom();
    eeprom[kHeader] = header;
    eeprom[kHeader + 1] = 0;
    if (!tracing) {
        return;
    }
    std::ostringstream text;
    text << "header 0x" << std::hex << unsigned{header};
    Note(text.str());
}

std::optional<DockFaultAt> DravoDock::TakeFault(DockFault fault, unsigned block) {
    const auto found = std::find_if(pending.begin(), pending.end(),
                                    [&](const DockFaultAt& at) { return at.fault == fault && at.block == block; });
    if (found == pending.end()) {
        return std::nullopt;
    }
    const DockFaultAt taken = *found;
    pending.erase(found);
    if (tracing) {
        Note(std::string("misbehaves: ") + std::string(FaultName(fault)) + " at block " + std::to_string(block));
    }
    return taken;
}

void DravoDock::Note(const std::string& text) {
    if (!tracing) {
        return;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now()).count();
    trace.push_back(std::to_string(ms) + " ms: " + text);
}

}  // namespace tvo::DockSim
