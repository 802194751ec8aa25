#include <Recording/Recorder.h>

#include "JsonText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace tvo::Recording {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Digits(std::size_t index, std::size_t width, int base) {
    std::string digits;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < width; ++i) {
        digits.insert(digits.begin(), kDigits[index % static_cast<std::size_t>(base)]);
        index /= static_cast<std::size_t>(base);
    }
    return digits;
}

// The same address with either separator, in either case, is one address.
std::string Normal(const std::string& found) {
    std::string normal;
    for (const char c : Lower(found)) {
        if (c != ':' && c != '-') {
            normal += c;
        }
    }
    return normal;
}

// Replaces every match of the pattern by the stand-in that the match's
// normal form maps to, made on first sight.
template <typename MakeStandIn>
std::string ReplaceMatches(const std::string& text, const std::regex& pattern, std::map<std::string, std::string>& seen,
                           MakeStandIn make) {
    std::string out;
    out.reserve(text.size());
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.cbegin(), text.cend(), pattern), end; it != end; ++it) {
        const auto& match = *it;
        out.append(last, match[0].first);
        const std::string found = match.str();
        const std::string key = Normal(found);
        auto known = seen.find(key);
        if (known == seen.end()) {
            known = seen.emplace(key, make(seen.size())).first;
        }
        // The stand-in written as the match was: its separator, if any.
        std::string standIn = known->second;
        const char separator = found.size() > 2 ? found[2] : ':';
        if (separator == '-' || separator == ':') {
            std::replace(standIn.begin(), standIn.end(), separator == '-' ? ':' : '-', separator);
        }
        out += standIn;
        last = match[0].second;
    }
    out.append(last, text.cend());
    return out;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return;
    }
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::string Redact(const std::string& lines) {
    // The same stand-in length keeps byte images (an EEPROM) their size.
    static const std::regex kMac("\\b([0-9A-Fa-f]{2}[:-]){5}[0-9A-Fa-f]{2}\\b");
    static const std::regex kUuid("\\b[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\b");
    // A serial number or tenant under its key, in a record or in a body
    // carried as a string (quotes escaped).
    static const std::regex kKeyed("(serial|tenant)[A-Za-z_]*\\\\?\"\\s*:\\s*\\\\?\"([^\"\\\\]{3,64})\\\\?\"",
                                   std::regex::icase);

    std::map<std::string, std::string> macs;
    std::string text = ReplaceMatches(lines, kMac, macs, [](std::size_t index) {
        const std::string digits = "02005e" + Digits(index, 6, 16);
        std::string standIn;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            standIn += (i ? ":" : "") + digits.substr(i, 2);
        }
        return standIn;
    });
    // The same addresses as bytes, in hex dumps (an EEPROM image, a MAC query).
    for (const auto& [mac, standIn] : macs) {
        ReplaceAll(text, mac, Normal(standIn));
    }

    std::map<std::string, std::string> tenants;
    text = ReplaceMatches(text, kUuid, tenants,
                          [](std::size_t index) { return "00000000-0000-4000-8000-" + Digits(index, 12, 10); });

    // Keyed values: collected first, then replaced wherever they stand, as
    // text and as bytes.
    std::vector<std::pair<std::string, std::string>> keyed;
    for (std::sregex_iterator it(text.cbegin(), text.cend(), kKeyed), end; it != end; ++it) {
        const std::string value = (*it)[2].str();
        const bool known =
            std::any_of(keyed.begin(), keyed.end(), [&](const auto& pair) { return pair.first == value; });
        if (!known && value.find("-0000-4000-8000-") == std::string::npos) {
            const std::string prefix = Lower((*it)[1].str()) == "serial" ? "SN" : "TN";
            const std::size_t width = value.size() > prefix.size() ? value.size() - prefix.size() : 1;
            keyed.emplace_back(
                value,
                (prefix + Digits(keyed.size() + 1, width, 10)).substr(0, std::max<std::size_t>(value.size(), 1)));
        }
    }
    // Longer values first, so that one holding another is replaced whole.
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [value, standIn] : keyed) {
        ReplaceAll(text, value, standIn);
        ReplaceAll(text, Hex(value), Hex(standIn));
    }
    return text;
}

}  // namespace tvo::Recording
