#include <Recording/Recording.h>

#include "JsonText.h"

#include <Common/Utf8.h>

#include <fstream>
#include <sstream>
#include <system_error>

namespace tvo::Recording {

const char* Name(Lane lane) {
    switch (lane) {
        case Lane::Host: return "host";
        case Lane::Camera: return "camera library";
        case Lane::Dock: return "dock";
        case Lane::System: return "system";
    }
    return "?";  // GCOVR_EXCL_LINE: the switch covers every lane
}

namespace {

using web::json::value;

constexpr std::size_t kMaxProblems = 50;
constexpr std::size_t kSummaryBytes = 160;

// A short, single-line view of a recorded body or payload.
std::string Brief(const value* body) {
    if (!body) {
        return {};
    }
    std::string text;
    if (body->is_string()) {
        text = body->as_string();
    } else if (body->is_object() && Field(*body, "sha256")) {
        text = std::to_string(IntField(*body, "size")) + " bytes, sha256 " +
               StringField(*body, "sha256").substr(0, 12) + "...";
    } else if (body->is_object() && Field(*body, "hex")) {
        text = std::to_string(StringField(*body, "hex").size() / 2) + " bytes (binary)";
    } else {
        text = body->serialize();
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    if (text.size() > kSummaryBytes) {
        text = tvo::ToValidUtf8(text.substr(0, kSummaryBytes)) + "...";
    }
    return text;
}

std::string Joined(const std::string& head, const std::string& tail) {
    return tail.empty() ? head : head + " " + tail;
}

// Lanes, summary and failure of one event, by its kind.
void Describe(const value& line, Event& event) {
    const std::string& kind = event.kind;
    const bool inbound = StringField(line, "dir") == "in";
    const std::string op = StringField(line, "op");
    if (kind == "call") {
        event.from = Lane::Host;
        event.to = Lane::Camera;
        const auto* args = Field(line, "args");
        const bool none = !args || (args->is_object() && args->size() == 0);
        event.summary = op + "(" + (none ? std::string() : Brief(args)) + ")";
    } else if (kind == "return") {
        event.from = Lane::Camera;
        event.to = Lane::Host;
        const std::string code = StringField(line, "code", "?");
        event.failed = code == "Failed";
        event.summary = Joined(op + " -> " + code, Brief(Field(line, "value")));
    } else if (kind == "callback") {
        event.from = Lane::Camera;
        event.to = Lane::Host;
        event.summary = "callback " + op + "(" + Brief(Field(line, "args")) + ")";
    } else if (kind == "callback-return") {
        event.from = Lane::Host;
        event.to = Lane::Camera;
        event.summary = Joined(op + " ->", Brief(Field(line, "value")));
    } else if (kind == "request") {
        event.from = inbound ? Lane::Dock : Lane::Camera;
        event.to = inbound ? Lane::Camera : Lane::Dock;
        const std::string what = StringField(line, "method") + " " + StringField(line, "target");
        event.summary = BoolField(line, "download") ? "download " + what : Joined(what, Brief(Field(line, "body")));
    } else if (kind == "reply") {
        event.from = inbound ? Lane::Camera : Lane::Dock;
        event.to = inbound ? Lane::Dock : Lane::Camera;
        const std::string error = StringField(line, "error");
        const std::int64_t status = IntField(line, "status");
        const std::string bodyError = StringField(line, "body_error");
        event.failed = !error.empty() || status >= 400 || !bodyError.empty();
        if (!error.empty()) {
            event.summary = "no reply: " + error;
        } else {
            event.summary = Joined(std::to_string(status), Brief(Field(line, "body")));
            if (!bodyError.empty()) {
                event.summary += " (body failed: " + bodyError + ")";
            }
        }
    } else if (kind == "environment") {
        event.from = event.to = Lane::Camera;
        const auto* pallix = Field(line, "pallix");
        const auto* velta = Field(line, "velta");
        event.summary = "environment: Velta path " + (velta ? StringField(*velta, "path") : std::string("?")) +
                        ", Pallix names " +
                        (pallix ? StringField(*pallix, "dockHostName") + ", " + StringField(*pallix, "proxyHostName")
                                : std::string("?"));
    } else if (kind == "object") {
        event.from = Lane::Host;
        event.to = Lane::Camera;
        event.summary = "new " + StringField(line, "dock") + " protocol object";
    } else if (kind == "listen" || kind == "socket") {
        event.from = event.to = Lane::Camera;
        const std::string where =
            kind == "listen" ? StringField(line, "address") + ":" + std::to_string(IntField(line, "port")) + " " +
                                   StringField(line, "path")
                             : StringField(line, "interface") + " port " + std::to_string(IntField(line, "port"));
        const std::string error = StringField(line, "error");
        event.failed = !error.empty();
        event.summary = Joined(kind + " " + where, error.empty() ? "" : "failed: " + error);
    } else if (kind == "datagram") {
        event.from = Lane::Dock;
        event.to = Lane::Camera;
        const std::int64_t error = IntField(line, "errno");
        event.failed = error != 0;
        event.summary = error != 0 ? "datagram: receive failed, errno " + std::to_string(error)
                                   : Joined("datagram " + std::to_string(IntField(line, "size")) + " bytes from " +
                                                StringField(line, "sender"),
                                            Brief(Field(line, "payload")));
    } else if (kind == "ioctl") {
        event.from = Lane::Camera;
        event.to = Lane::Dock;
        const std::int64_t result = IntField(line, "result");
        event.failed = result != 0;
        std::string what = Joined(StringField(line, "request"), StringField(line, "cmd"));
        if (Field(line, "offset")) {
            what += " offset " + std::to_string(IntField(line, "offset")) + " length " +
                    std::to_string(IntField(line, "length"));
        }
        event.summary = what + " -> " +
                        (result == 0 ? std::string("0") : "failed, errno " + std::to_string(IntField(line, "errno")));
    } else if (kind == "interface") {
        event.from = Lane::Camera;
        event.to = Lane::System;
        event.summary =
            StringField(line, "query") + " " + StringField(line, "name") + " -> " + Brief(Field(line, "value"));
    } else if (kind == "connman") {
        event.from = Lane::Camera;
        event.to = Lane::System;
        const auto* result = Field(line, "result");
        event.failed = result && result->is_object() && !BoolField(*result, "ok", true);
        event.summary = Joined("connman " + StringField(line, "call") + " " + Brief(Field(line, "args")),
                               result ? "-> " + Brief(result) : "");
    } else if (kind == "hosts") {
        event.from = Lane::Camera;
        event.to = Lane::System;
        const auto* added = Field(line, "added");
        const auto* removed = Field(line, "removed");
        const auto count = [](const value* lines) { return lines && lines->is_array() ? lines->size() : 0; };
        event.summary = "hosts file +" + std::to_string(count(added)) + " -" + std::to_string(count(removed)) +
                        (count(added) ? " " + Brief(&added->at(0)) : std::string());
    } else {
        event.from = event.to = Lane::Camera;
        event.summary = "(" + kind + ")";
    }
}

// Any field of a summary may come from the field: one line, bounded, UTF-8.
void OneLine(std::string& summary) {
    for (char& c : summary) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    constexpr std::size_t kLongest = 3 * kSummaryBytes;
    if (summary.size() > kLongest) {
        summary = summary.substr(0, kLongest) + "...";
    }
    summary = tvo::ToValidUtf8(summary);
}

void Problem(Recording& recording, std::string text) {
    if (recording.problems.size() < kMaxProblems) {
        recording.problems.push_back(std::move(text));
    } else if (recording.problems.size() == kMaxProblems) {
        recording.problems.emplace_back("more problems: not listed");
    }
}

bool ParseObject(std::string_view text, value& parsed) {
    std::error_code error;
    parsed = value::parse(std::string(text), error);
    return !error && parsed.is_object();
}

bool ReadHeader(const value& line, std::size_t number, Recording& recording) {
    if (StringField(line, "recording") != "dock-road") {
        Problem(recording, "line " + std::to_string(number) + " is no recording header: not a road recording");
        return false;
    }
    Header& header = recording.header;
    header.version = static_cast<int>(IntField(line, "version"));
    header.dock = StringField(line, "dock");
    header.simulated = BoolField(line, "simulated");
    header.redacted = BoolField(line, "redacted");
    header.json = Line(line);
    if (header.version > kVersion) {
        Problem(recording, "version " + std::to_string(header.version) + " is newer than this reader's " +
                               std::to_string(kVersion) + ": read as far as this version knows");
    } else if (header.version < 1) {
        Problem(recording, "the header gives no version: read as version " + std::to_string(kVersion));
    }
    return true;
}

}  // namespace

Recording Parse(std::string_view text) {
    Recording recording;
    bool headerSeen = false;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const bool last = end == std::string_view::npos;
        const std::string_view raw = text.substr(0, last ? text.size() : end);
        text.remove_prefix(last ? text.size() : end + 1);
        ++number;
        if (raw.find_first_not_of(" \t\r") == std::string_view::npos) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        if (raw.size() > kMaxLineBytes) {
            Problem(recording, where + " is longer than " + std::to_string(kMaxLineBytes) + " bytes: skipped");
            continue;
        }
        value line;
        if (!ParseObject(raw, line)) {
            Problem(recording, where + (last ? " is cut short" : " is no JSON object") +
                                   (last ? ": the recording ends before it" : ": skipped"));
            if (!headerSeen) {
                return recording;
            }
            continue;
        }
        if (!headerSeen) {
            if (!ReadHeader(line, number, recording)) {
                return recording;
            }
            headerSeen = true;
            continue;
        }
        const auto* kind = Field(line, "kind");
        const auto* t = Field(line, "t");
        if (!kind || !kind->is_string() || !t || !t->is_number()) {
            Problem(recording, where + " has no \"t\" or \"kind\": skipped");
            continue;
        }
        if (recording.events.size() == kMaxEvents) {
            Problem(recording, "more than " + std::to_string(kMaxEvents) + " events: the rest is not read");
            break;
        }
        Event event;
        event.t = IntField(line, "t");
        event.thread = StringField(line, "thread", "?");
        event.kind = kind->as_string();
        event.line = number;
        event.json = std::string(raw);
        Describe(line, event);
        OneLine(event.summary);
        recording.events.push_back(std::move(event));
    }
    if (!headerSeen && recording.problems.empty()) {
        Problem(recording, "the recording is empty");
    }
    return recording;
}

Recording Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Recording recording;
        recording.problems.push_back("cannot read " + path);
        return recording;
    }
    // Bounded as the events are: a recording of a few roads is a few MB.
    constexpr std::size_t kLargestFile = std::size_t{512} * 1024 * 1024;
    std::ostringstream content;
    std::string chunk(64 * 1024, '\0');
    std::size_t total = 0;
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || file.gcount() > 0) {
        total += static_cast<std::size_t>(file.gcount());
        if (total > kLargestFile) {
            Recording recording = Parse(content.str());
            recording.problems.push_back(path + " is larger than 512 MiB: read as far as that");
            return recording;
        }
        content.write(chunk.data(), file.gcount());
    }
    return Parse(content.str());
}

}  // namespace tvo::Recording
