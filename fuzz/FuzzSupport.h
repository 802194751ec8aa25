#pragma once
// Shared by the fuzz targets: silent logging that still formats every line,
// a private temporary folder for the process, and small property checks.

#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

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
