#pragma once
// Shared by the fuzz targets: silent logging that still formats every line,
// a private temporary folder for the process, and small property checks.

#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace tvo::fuzz {

// Formats and drops every line: the log text of network input is part of
// what is fuzzed, its output is not wanted.
class DropSink : public LogSink {
public:
    void Write(const LogRecord&) override {}
};

inline void QuietLogs() {
    LogClient::SetSink(std::make_shared<DropSink>());
    LogClient::SetLevel(LogLevel::FinestDetail);
}

// One folder for the whole run, removed at exit.
inline const TempDir& ScratchDir() {
    static const TempDir dir;
    return dir;
}

// Stops the run with a message that names the broken property; abort() makes
// libFuzzer keep the input as a crash.
// A request as the dispatch targets read their input: the first byte picks
// the method and similar switches, the text up to the first newline is the
// path and query, the rest the body.
struct Request {
    std::uint8_t mode = 0;
    std::string uri;
    std::string body;
};

inline bool SplitRequest(const std::uint8_t* data, std::size_t size, Request& request) {
    if (size == 0) {
        return false;
    }
    request.mode = data[0];
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto newline = rest.find('\n');
    request.uri = rest.substr(0, newline);
    request.body = newline == std::string::npos ? std::string() : rest.substr(newline + 1);
    return true;
}

[[noreturn]] inline void PropertyFailed(std::string_view what) {
    std::fprintf(stderr, "PROPERTY FAILED: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void Require(bool holds, std::string_view what) {
    if (!holds) {
        PropertyFailed(what);
    }
}

}  // namespace tvo::fuzz
