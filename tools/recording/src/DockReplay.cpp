// Plays the dock's side of a recording over real sockets: which pieces a
// dock kind needs, where they listen and send, and the tally of the run.

#include <Recording/DockReplay.h>

#include "DockReplayParts.h"

#include <TestSupport/TestSupport.h>

#include <algorithm>

namespace tvo::Recording {
namespace {

using web::json::value;

constexpr const char* kDefaultBase = "127.0.0.1:55006";

std::string Setting(const value& settings, const char* dock, const char* name, const std::string& otherwise) {
    const auto* group = Field(settings, dock);
    return group ? StringField(*group, name, otherwise) : otherwise;
}

std::string Trimmed(std::string path) {
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    while (!path.empty() && path.front() == '/') {
        path.erase(0, 1);
    }
    return path;
}

// Where the camera's server is, with the path its requests live under.
bool CameraUri(const std::string& camera, const std::string& path, std::string& uri) {
    std::string host;
    int port = 0;
    if (!SplitHostPort(camera, host, port) || port == 0) {
        return false;
    }
    const bool literal6 = host.find(':') != std::string::npos;
    uri = "http://" + (literal6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" + Trimmed(path);
    return true;
}

struct Pieces {
    std::vector<Exchange> outbound;
    std::vector<Exchange> inbound;
    value settings;
    std::vector<Scripted> datagrams;
    std::optional<Scripted> socket;
    std::vector<Scripted> ioctls;
};

Pieces TakeApart(const Recording& recording) {
    Script script(recording);
    Pieces pieces;
    while (auto exchange = script.NextOutbound()) {
        pieces.outbound.push_back(std::move(*exchange));
    }
    pieces.inbound = script.Inbound();
    pieces.settings = script.Settings();
    while (auto datagram = script.Next("datagram")) {
        pieces.datagrams.push_back(std::move(*datagram));
    }
    pieces.socket = script.Next("socket");
    while (auto ioctl = script.NextIoctl()) {
        pieces.ioctls.push_back(std::move(*ioctl));
    }
    return pieces;
}

// Starts the recorded base on listen ("ADDR:PORT"; port 0: fallbackPort,
// else a free one). False, with the failure tallied, when it cannot.
bool Serve(RecordedBase& base, const std::string& listen, int fallbackPort, Tally& tally, std::string& failure) {
    std::string address;
    int port = 0;
    if (!SplitHostPort(listen, address, port)) {
        failure = "bad --listen '" + listen + "' (ADDR:PORT, an IPv4 address)";
        return false;
    }
    if (port == 0) {
        port = fallbackPort != 0 ? fallbackPort : FreeTcpPort();
    }
    try {
        base.Listen(address, port);
    } catch (const std::exception& error) {
        failure = error.what();
        return false;
    }
    tally.Say("the recorded dock serves " + std::to_string(base.Recorded()) + " request(s) of the camera on http://" +
              address + ":" + std::to_string(port) + "/");
    return true;
}

void WaitForCamera(RecordedBase& base) {
    Clock::time_point ignored;
    base.WaitAnswered(base.Recorded(), ignored);
    base.Leftovers();
}

std::string PlayVelta(const Pieces& pieces, bool redacted, const DockReplayOptions& options, Tally& tally) {
    const std::string path = Setting(pieces.settings, "velta", "path", "UsbRest/1.0");
    std::string camera;
    if (!CameraUri(options.camera, path, camera)) {
        return "bad --camera '" + options.camera + "' (ADDR:PORT)";
    }
    RecordedBase base(pieces.outbound, "/" + Trimmed(path), !redacted, tally, options.longestHold);
    std::string failure;
    if (!Serve(base, options.listen.empty() ? kDefaultBase : options.listen, 0, tally, failure)) {
        return failure;
    }
    tally.Say("the recorded dock sends " + std::to_string(pieces.inbound.size()) + " request(s) to " + camera);
    SendRecorded(pieces.inbound, pieces.outbound, &base, camera, options, tally);
    WaitForCamera(base);
    return "";
}

std::string PlayOskin(const Pieces& pieces, const DockReplayOptions& options, Tally& tally) {
    std::string camera;
    if (!CameraUri(options.camera, Setting(pieces.settings, "oskin", "path", "api/"), camera)) {
        return "bad --camera '" + options.camera + "' (ADDR:PORT)";
    }
    tally.Say("the recorded base sends " + std::to_string(pieces.inbound.size()) + " request(s) to " + camera);
    SendRecorded(pieces.inbound, {}, nullptr, camera, options, tally);
    return "";
}

std::string PlayPallix(const Pieces& pieces, bool redacted, const DockReplayOptions& options, Tally& tally) {
    // The agent serves where its hello says it does.
    int helloPort = 0;
    for (const auto& datagram : pieces.datagrams) {
        if (IntField(datagram.event, "errno") == 0) {
            helloPort = HelloPort(BytesField(datagram.event, "payload"));
            break;
        }
    }
    const Clock::time_point start = Clock::now();
    RecordedBase agent(pieces.outbound, "", !redacted, tally, options.longestHold);
    std::string failure;
    if (!Serve(agent, options.listen.empty() ? "127.0.0.1:0" : options.listen, helloPort, tally, failure)) {
        return failure;
    }
    // Offsets count from the moment the camera opened its discovery socket.
    const std::int64_t since =
        pieces.socket ? TimeOf(*pieces.socket) : (pieces.datagrams.empty() ? 0 : TimeOf(pieces.datagrams.front()));
    SendHellos(pieces.datagrams, since, start, options, tally);
    WaitForCamera(agent);
    return "";
}

}  // namespace

void Tally::Exchanged(const std::string& line, const std::string& difference) {
    std::lock_guard<std::mutex> lock(mutex);
    ++result.exchanges;
    log << line << '\n';
    if (!difference.empty()) {
        log << "  difference: " << difference << '\n';
        result.differences.push_back(difference);
    }
    log.flush();
}

void Tally::Differed(const std::string& difference) {
    std::lock_guard<std::mutex> lock(mutex);
    log << "difference: " << difference << std::endl;
    result.differences.push_back(difference);
}

void Tally::Say(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    log << line << std::endl;
}

DockReplayResult Tally::Result() {
    std::lock_guard<std::mutex> lock(mutex);
    return result;
}

bool SplitHostPort(const std::string& text, std::string& host, int& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || colon + 6 < text.size()) {
        return false;
    }
    port = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        port = port * 10 + (text[i] - '0');
    }
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false;  // an IPv6 address needs its brackets
    }
    return port <= 65535;
}

std::int64_t TimeOf(const Scripted& scripted) {
    return IntField(scripted.event, "t");
}

std::string BytesField(const value& event, const char* name) {
    std::string bytes;
    if (const auto* recorded = Field(event, name)) {
        BytesOf(*recorded, bytes);
    }
    return bytes;
}

bool SameBody(const value& event, const std::string& bytes) {
    const auto* recorded = Field(event, "body");
    if (!recorded) {
        return bytes.empty();
    }
    // A large body was kept as its digest: held against that.
    if (recorded->is_object() && Field(*recorded, "sha256")) {
        return IntField(*recorded, "size", -1) == static_cast<std::int64_t>(bytes.size()) &&
               StringField(*recorded, "sha256") == Sha256Hex(bytes);
    }
    std::string expected;
    return BytesOf(*recorded, expected) && expected == bytes;
}

std::string Short(const std::string& body) {
    constexpr std::size_t kShown = 80;
    std::string text = body.size() > kShown ? body.substr(0, kShown) + "..." : body;
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

std::pair<std::string, std::string> WhereTheyDiffer(const std::string& one, const std::string& other) {
    constexpr std::size_t kBefore = 20;
    std::size_t at = 0;
    while (at < one.size() && at < other.size() && one[at] == other[at]) {
        ++at;
    }
    const std::size_t from = at > kBefore ? at - kBefore : 0;
    const std::string cut = from > 0 ? "..." : "";
    return {cut + Short(one.substr(std::min(from, one.size()))),
            cut + Short(other.substr(std::min(from, other.size())))};
}

std::chrono::microseconds Gap(std::int64_t micros, std::chrono::milliseconds longest) {
    return std::clamp<std::chrono::microseconds>(std::chrono::microseconds(micros), std::chrono::microseconds(0),
                                                 longest);
}

DockReplayResult PlayDock(const Recording& recording, const DockReplayOptions& options, std::ostream& log) {
    Tally tally(log, Clock::now() + options.limit);
    for (const auto& problem : recording.problems) {
        tally.Say("note: " + problem);
    }
    const Pieces pieces = TakeApart(recording);
    const std::string& dock = recording.header.dock;
    const bool redacted = recording.header.redacted;
    std::string failure;
    if (dock == "Velta") {
        failure = PlayVelta(pieces, redacted, options, tally);
    } else if (dock == "Oskin") {
        failure = PlayOskin(pieces, options, tally);
    } else if (dock == "Pallix") {
        failure = PlayPallix(pieces, redacted, options, tally);
    } else if (dock == "Dravo") {
        ShowDravo(pieces.ioctls, options, tally);
    } else if (dock == "Default") {
        tally.Say("a Default dock exchanges nothing with the camera: nothing to play");
    } else {
        failure = "the recording's dock '" + dock + "' is none this replay plays";
    }
    DockReplayResult result = tally.Result();
    result.failure = failure;
    if (!failure.empty()) {
        log << "cannot play the dock: " << failure << '\n';
    }
    log << result.exchanges << " exchanges, " << result.differences.size() << " differences" << std::endl;
    return result;
}

}  // namespace tvo::Recording
