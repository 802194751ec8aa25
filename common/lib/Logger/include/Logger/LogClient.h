#pragma once
// One log line under construction. Build it only after LevelIsEnabled said
// yes (PMX_LOG does both); the line is handed to the process sink, whole, when
// the object is destroyed.

#include <Logger/Export.h>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tvo {

enum class LogLevel : int {
    Error = 3,
    Warning = 4,
    Info = 6,
    Detail = 7,
    FinestDetail = 8,
};

using LogCategory = std::uint32_t;
inline constexpr LogCategory kLogCategoryDock = 0x8027;  // EEPROM, Dravo, Pallix, handles
inline constexpr LogCategory kLogCategoryRest = 0x8014;  // Velta and Oskin docks

// Text of a level as it appears in a line ("error", "warning", "info", ...).
PMX_LOGGER_API std::string_view LogLevelName(LogLevel level);
// Parses "error", "warning", "info", "detail", "finest" or the number; false on
// anything else.
PMX_LOGGER_API bool ParseLogLevel(std::string_view text, LogLevel& level);

struct PMX_LOGGER_API LogRecord {
    LogLevel level;
    LogCategory category;
    std::string_view file;
    std::string_view function;
    int line;
    std::string_view text;
};

// Where finished lines go. Write is called from any thread, once per line.
class PMX_LOGGER_API LogSink {
public:
    virtual ~LogSink() = default;
    virtual void Write(const LogRecord& record) = 0;
};

// "<level> [0x8027] file:line function: text", one write(2) per line.
class PMX_LOGGER_API StderrSink : public LogSink {
public:
    void Write(const LogRecord& record) override;
};

// Hands each line to syslog(3) with the matching priority.
class PMX_LOGGER_API SyslogSink : public LogSink {
public:
    explicit SyslogSink(std::string ident = "dockprotocol");
    ~SyslogSink() override;
    void Write(const LogRecord& record) override;

private:
    std::string ident;
};

// Keeps every line in memory; for tests.
class PMX_LOGGER_API CaptureSink : public LogSink {
public:
    struct Line {
        LogLevel level;
        LogCategory category;
        std::string file;
        std::string function;
        int line;
        std::string text;
    };
    void Write(const LogRecord& record) override;
    std::vector<Line> Lines() const;
    // True when some captured line's text contains the fragment.
    bool Contains(std::string_view fragment) const;
    void Clear();

private:
    struct State;
    std::shared_ptr<State> state = MakeState();
    static std::shared_ptr<State> MakeState();
};

// Where a line comes from: source file, operation and line.
struct LogSite {
    std::string_view file;
    std::string_view function;
    int line;
};

class PMX_LOGGER_API LogClient {
public:
    LogClient(std::string_view file, std::string_view function, int line, LogLevel level, LogCategory category);
    LogClient(const LogSite& site, LogLevel level, LogCategory category)
        : LogClient(site.file, site.function, site.line, level, category) {}
    ~LogClient();
    LogClient(const LogClient&) = delete;
    LogClient& operator=(const LogClient&) = delete;

    template <typename T>
    LogClient& operator<<(const T& value) {
        // A null C string would put the stream into a failed state and
        // silently drop the rest of the line.
        if constexpr (std::is_pointer_v<T> && std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char>) {
            stream << (value != nullptr ? value : "(null)");
        } else {
            stream << value;
        }
        return *this;
    }

    static bool LevelIsEnabled(LogLevel level);
    // The unqualified name of the operation a compiler's function signature
    // (__PRETTY_FUNCTION__) names; inside a lambda, the operation that holds
    // the lambda. "void tvo::A::Run()::<lambda()>" gives "Run".
    static std::string_view OperationOf(std::string_view signature);
    // A source file's path relative to the source tree, however the build
    // spelled it (absolute, or relative to the build folder).
    static std::string_view SourceOf(std::string_view file);
    // Process-wide threshold: lines at this level or more severe pass. Default Info.
    static void SetLevel(LogLevel level);
    static LogLevel GetLevel();
    // Replaces the process sink (stderr by default); returns the previous one.
    // A null sink restores stderr.
    static std::shared_ptr<LogSink> SetSink(std::shared_ptr<LogSink> sink);

private:
    std::string_view file;
    std::string_view function;
    int line;
    LogLevel level;
    LogCategory category;
    std::ostringstream stream;
};

// Installs a sink and threshold for one scope and restores the previous ones.
class PMX_LOGGER_API ScopedLogCapture {
public:
    explicit ScopedLogCapture(LogLevel level = LogLevel::FinestDetail);
    ~ScopedLogCapture();
    CaptureSink& Sink() { return *sink; }

private:
    std::shared_ptr<CaptureSink> sink;
    std::shared_ptr<LogSink> previousSink;
    LogLevel previousLevel;
};

}  // namespace tvo

// PMX_LOG(tvo::LogLevel::Info, tvo::kLogCategoryDock) << "text " << n;
// The call site fills in its file (relative to the source tree), operation and
// line; a line written inside a lambda names the operation that holds it. The
// line is built only when the level is enabled.
#define PMX_LOG(level, category)                    \
    if (!::tvo::LogClient::LevelIsEnabled(level)) { \
    } else                                          \
        ::tvo::LogClient(PMX_LOG_SITE, (level), (category))

// The same, for a file whose lines name their source as given (a path text
// with static storage) instead of as the compiler spelled it.
#define PMX_LOG_AS(source, level, category)         \
    if (!::tvo::LogClient::LevelIsEnabled(level)) { \
    } else                                          \
        ::tvo::LogClient((source), ::tvo::LogClient::OperationOf(__PRETTY_FUNCTION__), __LINE__, (level), (category))

// Where a line is written, for helpers that log on their caller's behalf.
#define PMX_LOG_SITE                                                                                       \
    ::tvo::LogSite {                                                                                       \
        ::tvo::LogClient::SourceOf(__FILE__), ::tvo::LogClient::OperationOf(__PRETTY_FUNCTION__), __LINE__ \
    }
