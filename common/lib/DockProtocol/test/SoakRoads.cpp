// A long life: the same road again and again in one process, and what the
// process holds after each hundred.

#include "TortureRoads.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace tvo::torture {

std::size_t ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) / 1024;
}

std::size_t HeapInUseKiB() {
    const struct mallinfo2 heap = ::mallinfo2();
    return (heap.uordblks + heap.hblkhd) / 1024;
}

namespace {

SoakSample Sample(std::size_t roads, std::chrono::steady_clock::duration spent, std::size_t since,
                  const std::function<std::size_t()>& heapKiB) {
    SoakSample sample;
    sample.roads = roads;
    sample.descriptors = EntriesIn("/proc/self/fd");
    sample.threads = EntriesIn("/proc/self/task");
    sample.residentKiB = ResidentKiB();
    sample.heapKiB = heapKiB();
    if (since > 0) {
        sample.msPerRoad = std::chrono::duration<double, std::milli>(spent).count() / static_cast<double>(since);
    }
    return sample;
}

}  // namespace

SoakRun Soak(const RoadRunner& road, std::size_t count, std::size_t every,
             const std::function<std::size_t()>& heapKiB) {
    SoakRun soak;
    FaultPlan plan;
    soak.samples.push_back(Sample(0, {}, 0, heapKiB));
    auto start = std::chrono::steady_clock::now();
    for (std::size_t done = 1; done <= count; ++done) {
        const RoadRun run = road(plan, [] {});
        if (soak.firstProblem.empty() && !run.recoveryProblem.empty()) {
            soak.firstProblem = "road " + std::to_string(done) + ": " + run.recoveryProblem;
            // The end of its log, to tell what happened without a second run.
            const std::size_t shown = std::min<std::size_t>(run.log.size(), 16);
            for (std::size_t i = run.log.size() - shown; i < run.log.size(); ++i) {
                soak.firstProblem += "\n    " + run.log[i].function + ": " + run.log[i].text.substr(0, 200);
            }
        }
        if (done % every == 0 || done == count) {
            const auto now = std::chrono::steady_clock::now();
            const std::size_t since = done - soak.samples.back().roads;
            soak.samples.push_back(Sample(done, now - start, since, heapKiB));
            start = std::chrono::steady_clock::now();
        }
    }
    return soak;
}

}  // namespace tvo::torture
