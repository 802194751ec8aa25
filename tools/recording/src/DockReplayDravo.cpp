// A Dravo recording played for the dock's side: the adapter lives behind
// ioctls in the camera's own process, so what can be given out is its EEPROM
// as the camera read it, and the handshake as text.

#include "DockReplayParts.h"
#include "WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tvo::Recording {
namespace {

// struct ethtool_eeprom: cmd, magic, offset, len, then the data.
constexpr std::size_t kEepromHeader = 16;
constexpr unsigned char kBlank = 0xff;  // what an EEPROM holds where nothing was written

std::string Described(const web::json::value& event) {
    std::string text = "ioctl " + StringField(event, "request", "?");
    for (const char* name : {"cmd", "interface"}) {
        if (const std::string field = StringField(event, name); !field.empty()) {
            text += " " + field;
        }
    }
    if (Field(event, "offset")) {
        text += " offset " + std::to_string(IntField(event, "offset")) + " length " +
                std::to_string(IntField(event, "length"));
    }
    text += ": " + std::to_string(IntField(event, "result"));
    if (const auto error = IntField(event, "errno"); error != 0) {
        text += " (errno " + std::to_string(error) + ")";
    }
    return text;
}

}  // namespace

void ShowDravo(const std::vector<Scripted>& ioctls, const DockReplayOptions& options, Tally& tally) {
    std::string image;
    std::vector<bool> read;  // which bytes a read has given; the first read of a byte counts
    for (const auto& ioctl : ioctls) {
        const auto& event = ioctl.event;
        tally.Exchanged(Described(event));
        if (StringField(event, "cmd") != "ETHTOOL_GEEPROM" || IntField(event, "result", -1) != 0) {
            continue;
        }
        std::string out;
        const auto offset = IntField(event, "offset", -1);
        const auto length = IntField(event, "length", -1);
        if (!FromHex(StringField(event, "out"), out) || offset < 0 || length < 0 || offset > 65536 || length > 65536 ||
            out.size() < kEepromHeader + static_cast<std::size_t>(length)) {
            tally.Differed("the EEPROM read at offset " + std::to_string(offset) + " has no whole data");
            continue;
        }
        const auto end = static_cast<std::size_t>(offset + length);
        if (image.size() < end) {
            image.resize(end, static_cast<char>(kBlank));
            read.resize(end, false);
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(length); ++i) {
            if (!read[offset + i]) {
                image[offset + i] = out[kEepromHeader + i];
                read[offset + i] = true;
            }
        }
    }
    const auto known = static_cast<std::size_t>(std::count(read.begin(), read.end(), true));
    tally.Say("the adapter's EEPROM as the camera read it: " + std::to_string(known) + " of " +
              std::to_string(image.size()) + " bytes (the rest 0xff)");
    if (!options.imageOut.empty()) {
        if (image.empty()) {
            tally.Differed("the recording has no EEPROM read: no image written");
        } else if (!WriteWholeFile(options.imageOut, image)) {
            tally.Differed("could not write the image to " + options.imageOut);
        } else {
            tally.Say("image written to " + options.imageOut);
        }
    }
    tally.Say(
        "the adapter is reached through ioctls in the camera's own process: nothing crosses a socket, so the "
        "whole replay of a Dravo recording is `dockhost road --replay FILE`");
}

}  // namespace tvo::Recording
