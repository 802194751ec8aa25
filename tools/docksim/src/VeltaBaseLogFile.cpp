// The emulated base's own log: lines as a base writes them, each led by the
// tick stamp of the moment it was written.

#include <DockSim/VeltaBase.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

constexpr std::uint32_t kLowestTick = 100000;

// Small numbers only (at most four digits), so that a tick stamp of six or
// more digits never appears inside them.
const char* const kMessages[] = {
    "charger: state=Charging vbat=%04umV ibat=%03umA",
    "usbnet: link up, camera slot %u, rx=%04u tx=%04u",
    "restd: PUT UsbRest/1.0?type=upload_status answered 200 in %ums (%u)",
    "thermal: board %uC, fan %u%%",
    "dock: slot %u idle, %u camera(s) present",
};

}  // namespace

std::uint32_t BaseLogTick(std::size_t line, std::uint32_t firstTick, std::uint32_t tickStep) {
    return firstTick + static_cast<std::uint32_t>(line) * tickStep;
}

std::size_t GenerateBaseLog(const std::string& path, std::size_t bytes, std::uint32_t firstTick,
                            std::uint32_t tickStep) {
    if (firstTick < kLowestTick || tickStep == 0) {
        throw std::invalid_argument("base log tick stamps start at 100000 or more and rise");
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write the base log " + path);
    }
    std::size_t written = 0;
    std::size_t lines = 0;
    char text[256];
    while (written < bytes) {
        const unsigned a = static_cast<unsigned>((lines * 37) % 1000);
        const unsigned b = static_cast<unsigned>((lines * 11) % 100);
        const int head =
            std::snprintf(text, sizeof text, "%u velta-base[%u]: ", BaseLogTick(lines, firstTick, tickStep),
                          static_cast<unsigned>(lines % 7));
        const int tail = std::snprintf(text + head, sizeof text - static_cast<std::size_t>(head),
                                       kMessages[lines % (sizeof kMessages / sizeof *kMessages)], a, b);
        const std::size_t length = static_cast<std::size_t>(head + tail);
        text[length] = '\n';
        out.write(text, static_cast<std::streamsize>(length + 1));
        written += length + 1;
        ++lines;
    }
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write the base log " + path);
    }
    return lines;
}

}  // namespace tvo::DockSim
