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
        case LogLevel::FinestDetail: return true;
    }
    return false;
}

}  // namespace

std::string_view LogLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::Error: return "error";
        case LogLevel::Warning: return "warning";
        case LogLevel::Info: return "info";
        case LogLevel::Detail: return "detail";
        case LogLevel::FinestDetail: return "finest";
    }
    return "unknown";
}

bool ParseLogLevel(std::string_view text, LogLevel& level) {
    for (LogLevel candidate :
         {LogLevel::Error, LogLevel::Warning, LogLevel::Info, LogLevel::Detail, LogLevel::FinestDetail}) {
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

std::string_view LogClient::SourceOf(std::string_view file) {
    // Every source of the tree is compiled the same way as this one, so the
    // part of this file's own name before its place in the tree is the part
    // to drop from the others.
    static const std::string_view root = [] {
        constexpr std::string_view self = __FILE__;
        constexpr std::string_view place = "common/lib/Logger/src/LogClient.cpp";
        return self.size() >= place.size() && self.substr(self.size() - place.size()) == place
                   ? self.substr(0, self.size() - place.size())
                   : std::string_view{};
    }();
    if (!root.empty() && file.substr(0, root.size()) == root) {
        return file.substr(root.size());
    }
    // A file compiled in another checkout of the tree (a compiler cache
    // shares objects between checkouts): its place starts at the last of the
    // tree's top folders in its name.
    std::size_t place = std::string_view::npos;
    for (std::string_view top : {"/common/", "/tools/", "/fuzz/", "/bench/"}) {
        const auto at = file.rfind(top);
        if (at != std::string_view::npos && (place == std::string_view::npos || at > place)) {
            place = at;
        }
    }
    return place == std::string_view::npos ? file : file.substr(place + 1);
}

std::string_view LogClient::OperationOf(std::string_view signature) {
    std::string_view enclosing = signature;
    // GCC writes a lambda as "::<lambda(...)>", clang as "::(lambda at ...)"
    // or "::(anonymous class)"; what comes before is the enclosing operation.
    for (std::string_view mark : {"::<lambda", "::(lambda", "::(anonymous class)"}) {
        if (const auto at = enclosing.find(mark); at != std::string_view::npos) {
            enclosing = enclosing.substr(0, at);
        }
    }
    if (const auto with = enclosing.find(" [with "); with != std::string_view::npos) {
        enclosing = enclosing.substr(0, with);  // GCC's template arguments
    }
    // The parameter list: the last ')' and the '(' that opens it.
    const auto close = enclosing.rfind(')');
    if (close == std::string_view::npos) {
        return signature;
    }
    int depth = 0;
    std::size_t open = close + 1;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (enclosing[i] == ')') {
            ++depth;
        } else if (enclosing[i] == '(' && --depth == 0) {
            open = i;
            break;
        }
    }
    if (open > close) {
        return signature;
    }
    std::size_t begin = open;
    while (begin > 0 && enclosing[begin - 1] != ':' && enclosing[begin - 1] != ' ') {
        --begin;
    }
    return begin < open ? enclosing.substr(begin, open - begin) : signature;
}

LogClient::LogClient(std::string_view file, std::string_view function, int line, LogLevel level, LogCategory category)
    : file(file), function(function), line(line), level(level), category(category) {}

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
