#include "Logger/LogClient.h"

#include <atomic>
#include <charconv>
#include <mutex>
#include <utility>

namespace tvo {
namespace {

std::atomic<int> threshold{static_cast<int>(LogLevel::Info)};

// The slot is never destroyed: objects torn down during exit may still log.
struct SinkSlot {
    std::mutex mutex;
    std::shared_ptr<LogSink> sink = std::make_shared<StderrSink>();
};

SinkSlot& Slot() {
    static SinkSlot* slot = new SinkSlot;
    return *slot;
}

std::shared_ptr<LogSink> CurrentSink() {
    SinkSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.sink;
}

bool IsKnownLevel(int value) {
    switch (static_cast<LogLevel>(value)) {
    case LogLevel::Error:
    case LogLevel::Warning:
    case LogLevel::Info:
    case LogLevel::Detail:
    case LogLevel::FinestDetail:
        return true;
    }
    return false;
}

}  // namespace

std::string_view LogLevelName(LogLevel level) {
    switch (level) {
    case LogLevel::Error:
        return "error";
    case LogLevel::Warning:
        return "warning";
    case LogLevel::Info:
        return "info";
    case LogLevel::Detail:
        return "detail";
    case LogLevel::FinestDetail:
        return "finest";
    }
    return "unknown";
}

bool ParseLogLevel(std::string_view text, LogLevel& level) {
    for (LogLevel candidate : {LogLevel::Error, LogLevel::Warning, LogLevel::Info,
                               LogLevel::Detail, LogLevel::FinestDetail}) {
        if (text == LogLevelName(candidate)) {
            level = candidate;
            return true;
        }
    }
    int value = 0;
    const char* end = text.data() + text.size();
    auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || !IsKnownLevel(value)) {
        return false;
    }
    level = static_cast<LogLevel>(value);
    return true;
}

LogClient::LogClient(std::string_view file, std::string_view function, int line,
                     LogLevel level, LogCategory category)
    : file(file), function(function), line(line), level(level), category(category) {
    stream << std::boolalpha;
}

LogClient::~LogClient() {
    // A destructor must not throw; a line lost to an allocation failure is
    // the lesser harm.
    try {
        const std::string text = stream.str();
        const LogRecord record{level, category, file, function, line, text};
        if (std::shared_ptr<LogSink> sink = CurrentSink()) {
            sink->Write(record);
        }
    } catch (...) {
    }
}

bool LogClient::LevelIsEnabled(LogLevel level) {
    return static_cast<int>(level) <= threshold.load(std::memory_order_relaxed);
}

void LogClient::SetLevel(LogLevel level) {
    threshold.store(static_cast<int>(level), std::memory_order_relaxed);
}

LogLevel LogClient::GetLevel() {
    return static_cast<LogLevel>(threshold.load(std::memory_order_relaxed));
}

std::shared_ptr<LogSink> LogClient::SetSink(std::shared_ptr<LogSink> sink) {
    if (!sink) {
        sink = std::make_shared<StderrSink>();
    }
    SinkSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    std::swap(slot.sink, sink);
    return sink;
}

ScopedLogCapture::ScopedLogCapture(LogLevel level)
    : sink(std::make_shared<CaptureSink>()),
      previousSink(LogClient::SetSink(sink)),
      previousLevel(LogClient::GetLevel()) {
    LogClient::SetLevel(level);
}

ScopedLogCapture::~ScopedLogCapture() {
    LogClient::SetLevel(previousLevel);
    LogClient::SetSink(previousSink);
}

}  // namespace tvo
