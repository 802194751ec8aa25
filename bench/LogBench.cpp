// The price of a log line: one below the threshold must cost next to nothing,
// one above it the formatting and the hand-over to the sink.

#include <benchmark/benchmark.h>

#include <memory>

#include "Logger/LogClient.h"

namespace tvo {
namespace {

class NullSink : public LogSink {
public:
    void Write(const LogRecord& record) override { benchmark::DoNotOptimize(record.text.size()); }
};

// Installs a threshold and a null sink for one benchmark run.
class LogSetting {
public:
    explicit LogSetting(LogLevel level)
        : previousLevel(LogClient::GetLevel()), previousSink(LogClient::SetSink(std::make_shared<NullSink>())) {
        LogClient::SetLevel(level);
    }
    ~LogSetting() {
        LogClient::SetLevel(previousLevel);
        LogClient::SetSink(previousSink);
    }

private:
    LogLevel previousLevel;
    std::shared_ptr<LogSink> previousSink;
};

void BM_LogBelowThreshold(benchmark::State& state) {
    LogSetting setting(LogLevel::Info);
    int value = 0;
    for (auto _ : state) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "charge state " << value << " from the dock";
        benchmark::DoNotOptimize(++value);
    }
}

void BM_LogAboveThresholdNullSink(benchmark::State& state) {
    LogSetting setting(LogLevel::Info);
    int value = 0;
    for (auto _ : state) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "charge state " << value << " from the dock";
        benchmark::DoNotOptimize(++value);
    }
}

BENCHMARK(BM_LogBelowThreshold)->MinTime(0.2);
BENCHMARK(BM_LogAboveThresholdNullSink)->MinTime(0.2);

}  // namespace
}  // namespace tvo
