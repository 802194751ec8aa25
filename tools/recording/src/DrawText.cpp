#include "DrawText.h"

#include "Recording/Draw.h"

#include <algorithm>

namespace tvo::Recording::draw {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool Continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `text[i]` of a character XML
// allows, or 0.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char b = byte(0);
    if (b < 0x80) {
        return (b >= 0x20 || b == '\t' || b == '\n' || b == '\r') ? 1 : 0;
    }
    std::size_t size = 0;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        size = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        size = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        size = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + size > text.size() || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < size; ++k) {
        if (!Continuation(byte(k))) {
            return 0;
        }
    }
    // U+FFFE and U+FFFF are no characters to XML.
    if (size == 3 && b == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) {
        return 0;
    }
    return size;
}

}  // namespace

std::string Clean(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t size = SequenceAt(text, i);
        if (size == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, size));
            i += size;
        }
    }
    return out;
}

std::size_t Length(std::string_view clean) {
    std::size_t n = 0;
    for (const char c : clean) {
        n += Continuation(static_cast<unsigned char>(c)) ? 0 : 1;
    }
    return n;
}

std::string Cut(std::string_view clean, std::size_t max) {
    if (Length(clean) <= max) {
        return std::string(clean);
    }
    std::size_t kept = 0, i = 0;
    for (; i < clean.size(); ++i) {
        if (!Continuation(static_cast<unsigned char>(clean[i])) && kept++ == max - 1) {
            break;
        }
    }
    return std::string(clean.substr(0, i)) + "\xE2\x80\xA6";  // U+2026
}

std::string Escape(std::string_view clean) {
    std::string out;
    out.reserve(clean.size() + clean.size() / 8);
    for (const char c : clean) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Milliseconds(std::int64_t micros) {
    // Tenths of a millisecond, rounded half away from zero.
    const bool negative = micros < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(micros) : micros;
    const std::uint64_t tenths = (magnitude + 50) / 100;
    return std::string(negative && tenths != 0 ? "-" : "") + std::to_string(tenths / 10) + "." +
           std::to_string(tenths % 10) + " ms";
}

std::string Title(const Header& header) {
    const std::string dock = header.dock.empty() ? "unknown dock" : Cut(Clean(header.dock), 40);
    return dock + " road \xC2\xB7 " + (header.simulated ? "simulated" : "real dock") + " \xC2\xB7 " +
           (header.redacted ? "redacted" : "not redacted");
}

std::string Counts(const Recording& recording) {
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string counts = count(recording.events.size(), "event", "events");
    if (!recording.problems.empty()) {
        counts += ", " + count(recording.problems.size(), "problem", "problems") + " reading it";
    }
    if (recording.header.version != 0) {
        counts += " \xC2\xB7 recording version " + std::to_string(recording.header.version);
    }
    return counts;
}

}  // namespace tvo::Recording::draw

namespace tvo::Recording {

std::string PrettyJson(std::string_view json) {
    // Deeper levels stay at this indent: a line of brackets from the field
    // must not grow quadratically.
    constexpr int kMaxIndent = 32;
    std::string out;
    out.reserve(json.size() + json.size() / 4);
    int depth = 0;
    const auto newline = [&] { out += '\n' + std::string(std::size_t{2} * std::min(depth, kMaxIndent), ' '); };
    bool inString = false, escaped = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            out += c;
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                out += c;
                break;
            case '{':
            case '[': {
                out += c;
                const std::size_t next = json.find_first_not_of(" \t\r\n", i + 1);
                if (next != std::string_view::npos && json[next] == (c == '{' ? '}' : ']')) {
                    out += json[next];
                    i = next;
                } else {
                    ++depth;
                    newline();
                }
                break;
            }
            case '}':
            case ']':
                depth = std::max(depth - 1, 0);
                newline();
                out += c;
                break;
            case ',':
                out += c;
                newline();
                break;
            case ':': out += ": "; break;
            case ' ':
            case '\t':
            case '\r':
            case '\n': break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace tvo::Recording
