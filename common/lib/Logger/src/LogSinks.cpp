#include "Logger/LogClient.h"

#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

namespace tvo {
namespace {

// Embedded line breaks would split one record into several lines and let
// other threads' lines land in between when read back.
std::string OneLine(std::string_view text) {
    std::string flat(text);
    std::replace_if(
        flat.begin(), flat.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return flat;
}

int SyslogPriority(LogLevel level) {
    switch (level) {
        case LogLevel::Error: return LOG_ERR;
        case LogLevel::Warning: return LOG_WARNING;
        case LogLevel::Info: return LOG_INFO;
        case LogLevel::Detail:
        case LogLevel::FinestDetail: return LOG_DEBUG;
    }
    return LOG_DEBUG;
}

std::string CategoryText(LogCategory category) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04x", static_cast<unsigned>(category));
    return buffer;
}

}  // namespace

void StderrSink::Write(const LogRecord& record) {
    std::string line;
    line.reserve(record.file.size() + record.function.size() + record.text.size() + 40);
    line.append(LogLevelName(record.level));
    line.append(" [").append(CategoryText(record.category)).append("] ");
    line.append(record.file).append(":").append(std::to_string(record.line));
    line.append(" ").append(record.function).append(": ");
    line.append(OneLine(record.text));
    line.push_back('\n');

    // One write(2) carries the whole line; the loop only covers the rare
    // short write to a pipe or a signal.
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;  // GCOVR_EXCL_LINE: a signal in the middle of one write cannot be timed in a test
            }
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

SyslogSink::SyslogSink(std::string ident) : ident(std::move(ident)) {
    // syslog keeps the ident pointer, so it must be the member's storage.
    ::openlog(this->ident.c_str(), LOG_PID, LOG_USER);
}

SyslogSink::~SyslogSink() {
    ::closelog();
}

void SyslogSink::Write(const LogRecord& record) {
    const std::string text = OneLine(record.text);
    const std::string function(record.function);
    const std::string file(record.file);
    ::syslog(SyslogPriority(record.level), "[%s] %s:%d %s: %s", CategoryText(record.category).c_str(), file.c_str(),
             record.line, function.c_str(), text.c_str());
}

struct CaptureSink::State {
    mutable std::mutex mutex;
    std::vector<Line> lines;
};

std::shared_ptr<CaptureSink::State> CaptureSink::MakeState() {
    return std::make_shared<State>();
}

void CaptureSink::Write(const LogRecord& record) {
    Line line{record.level, record.category,         std::string(record.file), std::string(record.function),
              record.line,  std::string(record.text)};
    std::lock_guard<std::mutex> lock(state->mutex);
    state->lines.push_back(std::move(line));
}

std::vector<CaptureSink::Line> CaptureSink::Lines() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->lines;
}

bool CaptureSink::Contains(std::string_view fragment) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return std::any_of(state->lines.begin(), state->lines.end(),
                       [&](const Line& line) { return line.text.find(fragment) != std::string::npos; });
}

void CaptureSink::Clear() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->lines.clear();
}

}  // namespace tvo
