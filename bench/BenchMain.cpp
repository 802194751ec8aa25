// Runs every registered benchmark, then prints the ratios that matter more
// than the absolute numbers: each pair "<name>/..." and "Bare<name>/..."
// that reports a "req/s" counter is compared.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("req/s");
            if (!run.error_occurred && rate != run.counters.end()) {
                rates[run.benchmark_name()] = rate->second.value;
            }
        }
    }

    void PrintRatios() const {
        for (const auto& [name, rate] : rates) {
            const auto bare = rates.find(BareName(name));
            if (bare == rates.end() || bare->second <= 0) {
                continue;
            }
            std::printf("%-40s %10.0f req/s  vs bare %10.0f req/s  ratio %.2f\n", name.c_str(), rate, bare->second,
                        rate / bare->second);
        }
    }

private:
    // "BM_HttpServerEcho/threads:8" pairs with "BM_BareHttpServerEcho/threads:8".
    static std::string BareName(const std::string& name) {
        const std::string prefix = "BM_";
        return name.rfind(prefix, 0) == 0 ? prefix + "Bare" + name.substr(prefix.size()) : "Bare" + name;
    }

    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
