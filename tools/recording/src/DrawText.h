#pragma once
// Text from a recording made safe for a drawing: what the field wrote may be
// any bytes, and a drawing must stay a well-formed document whatever it holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Recording/Recording.h"

namespace tvo::Recording::draw {

// Valid UTF-8 holding only characters XML 1.0 allows; every other byte or
// character becomes U+FFFD, so the reader sees where something was.
std::string Clean(std::string_view text);

// The characters (not bytes) of a clean text.
std::size_t Length(std::string_view clean);

// A clean text cut to at most `max` characters, the last of them an ellipsis
// when something was cut.
std::string Cut(std::string_view clean, std::size_t max);

// A clean text with & < > " ' as references: safe in XML and HTML, in text
// and in quoted attributes alike.
std::string Escape(std::string_view clean);

// What a drawing shows of any text from the field: cleaned, cut, escaped.
inline std::string Shown(std::string_view text, std::size_t max) {
    return Escape(Cut(Clean(text), max));
}

// Microseconds as milliseconds with one decimal, "12.3 ms", without locale.
std::string Milliseconds(std::int64_t micros);

// A drawing's heading: "Velta road · simulated · not redacted", clean, not escaped.
std::string Title(const Header& header);
// The line below it: "42 events, 1 problem reading it · recording version 1".
std::string Counts(const Recording& recording);

}  // namespace tvo::Recording::draw
