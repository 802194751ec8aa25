// The recording reader on any file content: it never throws or crashes, and
// what it hands on stays within its bounds. A recording parsed twice reads
// the same, and each event's summary is one line.

#include <Recording/Recording.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto recording = tvo::Recording::Parse(text);
    if (recording.events.size() > tvo::Recording::kMaxEvents || recording.problems.size() > 51) {
        std::abort();
    }
    for (const auto& event : recording.events) {
        if (event.json.size() > tvo::Recording::kMaxLineBytes || event.line == 0 ||
            event.summary.find('\n') != std::string::npos) {
            std::abort();
        }
    }
    const auto again = tvo::Recording::Parse(text);
    if (again.events.size() != recording.events.size() || again.problems != recording.problems) {
        std::abort();
    }
    return 0;
}
