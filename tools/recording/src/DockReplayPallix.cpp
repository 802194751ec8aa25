// The Pallix dock's hellos, sent by UDP at their recorded offsets.

#include "DockReplayParts.h"

#include <DockSim/PallixHello.h>

#include <cctype>
#include <thread>

namespace tvo::Recording {

int HelloPort(const std::string& payload) {
    // As the camera reads it: the first "acsp=" field, its digits up to the next comma.
    const std::string field = "acsp=";
    const auto at = payload.find(field);
    if (at == std::string::npos) {
        return 0;
    }
    int port = 0;
    std::size_t digit = at + field.size();
    for (; digit < payload.size() && std::isdigit(static_cast<unsigned char>(payload[digit])); ++digit) {
        port = port * 10 + (payload[digit] - '0');
        if (port > 65535) {
            return 0;
        }
    }
    return digit == at + field.size() ? 0 : port;
}

void SendHellos(const std::vector<Scripted>& datagrams, std::int64_t since, Clock::time_point start,
                const DockReplayOptions& options, Tally& tally) {
    std::unique_ptr<DockSim::PallixHelloSender> sender;
    try {
        sender = std::make_unique<DockSim::PallixHelloSender>(options.to, options.discoveryPort);
    } catch (const std::exception& error) {
        tally.Differed(std::string("no hello sent: ") + error.what());
        return;
    }
    std::int64_t previous = since;
    auto due = start;
    std::size_t number = 0;
    for (const auto& datagram : datagrams) {
        if (IntField(datagram.event, "errno") != 0) {
            continue;  // a receive that failed on the camera: nothing the dock sent
        }
        // Each pause cut on its own, so that one long wait does not shift the rest.
        ++number;
        due += Gap(TimeOf(datagram) - previous, options.longestGap);
        previous = TimeOf(datagram);
        if (due >= tally.deadline) {
            tally.Differed("the run ended before hello " + std::to_string(number) + " was sent");
            return;
        }
        std::this_thread::sleep_until(due);
        const std::string payload = BytesField(datagram.event, "payload");
        const std::string shown = "dock -> camera hello " + Short(payload) + " to " + options.to + " port " +
                                  std::to_string(options.discoveryPort);
        try {
            sender->Send(payload);
            tally.Exchanged(shown + ": sent");
        } catch (const std::exception& error) {
            tally.Exchanged(shown, error.what());
        }
    }
}

}  // namespace tvo::Recording
