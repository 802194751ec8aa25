// The base-log trim on any log and tick: the first four bytes are the tick,
// the rest the downloaded log. A trimmed copy is written exactly when the log
// is longer than the tick's decimal text and holds it, and then it is the
// log from the first occurrence on; otherwise nothing is written.

#include "FuzzEnvironment.h"
#include "FuzzSupport.h"

#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/ProtocolEnvironment.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

std::unique_ptr<tvo::DockProtoVelta> camera;
tvo::ProtocolEnvironment environment;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    environment = tvo::fuzz::ScratchEnvironment();
    camera = std::make_unique<tvo::DockProtoVelta>(environment);
    std::atexit([] { camera.reset(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    std::uint32_t tick;
    std::memcpy(&tick, data, sizeof tick);
    // Small ticks find their text in small logs far more often.
    if ((tick & 0x80000000u) == 0) {
        tick &= 0xFFFF;
    }
    const std::string log(reinterpret_cast<const char*>(data) + 4, size - 4);
    tvo::WriteFile(environment.files.baseLogCopy, log);
    std::error_code error;
    std::filesystem::remove(environment.files.trimmedBaseLogCopy, error);

    const std::uint32_t trimmed = camera->TrimBaseLogFile(tick);

    const std::string marker = std::to_string(tick);
    const auto position = log.size() > marker.size() ? log.find(marker) : std::string::npos;
    const bool keeps = tick != 0 && position != std::string::npos;
    tvo::fuzz::Require(trimmed == (keeps ? 1u : 0u), "the trim's flag disagrees with the rule");
    const bool written = std::filesystem::exists(environment.files.trimmedBaseLogCopy, error);
    tvo::fuzz::Require(written == keeps, "a trimmed copy written against the rule");
    if (keeps) {
        tvo::fuzz::Require(tvo::ReadFile(environment.files.trimmedBaseLogCopy) == log.substr(position),
                           "the trimmed copy is not the bytes the rule keeps");
    }
    return 0;
}
