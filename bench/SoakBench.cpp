// A long life: ten thousand roads of each dock kind in one process on the
// in-memory network, and a thousand over loopback, each with a fresh protocol
// object. Prints descriptors, threads, resident memory and the live C++ heap
// every tenth of the run and the time per road; fails when descriptors,
// threads or the live heap have not levelled off after the warm-up.
// Arguments: [in-memory roads] [loopback roads] [road name prefix].

#include <TortureRoads.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using namespace tvo::torture;

bool Report(const std::string& name, const RoadRunner& road, std::size_t count, const std::string& only) {
    if (name.rfind(only, 0) != 0) {
        return true;
    }
    const SoakRun soak = Soak(road, count, 100, LiveHeapKiB);
    const std::size_t shown = std::max<std::size_t>(100, count / 10);
    // The pools, and the ports the loopback simulators hold, fill up first.
    const std::size_t warmUp = std::min<std::size_t>(1000, std::max<std::size_t>(200, count / 5));
    std::printf("%-18s %8s %12s %8s %13s %9s %10s\n", name.c_str(), "roads", "descriptors", "threads", "resident KiB",
                "live KiB", "ms a road");
    const SoakSample* warm = &soak.samples.front();
    for (const auto& sample : soak.samples) {
        if (sample.roads % shown == 0 || sample.roads == count) {
            std::printf("%-18s %8zu %12zu %8zu %13zu %9zu %10.2f\n", "", sample.roads, sample.descriptors,
                        sample.threads, sample.residentKiB, sample.heapKiB, sample.msPerRoad);
        }
        if (sample.roads <= warmUp) {
            warm = &sample;
        }
    }
    const SoakSample& last = soak.samples.back();
    const auto grown = [](std::size_t before, std::size_t after) {
        return static_cast<long>(after) - static_cast<long>(before);
    };
    // What the roads keep is judged on the live C++ heap: resident memory
    // also holds what the allocator's per-thread arenas keep for reuse.
    bool level =
        last.descriptors <= warm->descriptors && last.threads <= warm->threads && last.heapKiB < warm->heapKiB + 256;
    if (!soak.firstProblem.empty()) {
        std::printf("  %s\n", soak.firstProblem.c_str());
        level = false;
    }
    std::printf("  after %zu roads: %+ld descriptors, %+ld threads, %+ld KiB resident, %+ld KiB live heap: %s\n\n",
                warm->roads, grown(warm->descriptors, last.descriptors), grown(warm->threads, last.threads),
                grown(warm->residentKiB, last.residentKiB), grown(warm->heapKiB, last.heapKiB),
                level ? "level" : "GROWING");
    return level;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each table as it is done
    const std::size_t inMemory = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
    const std::size_t loopback = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
    // Only the roads whose name starts with this, when given ("Velta").
    const std::string only = argc > 3 ? argv[3] : "";
    const auto on = [](Transport transport, RoadRun (*road)(FaultPlan&, const std::function<void()>&, Transport)) {
        return
            [transport, road](FaultPlan& plan, const std::function<void()>& arm) { return road(plan, arm, transport); };
    };
    bool level = true;
    level &= Report("Velta in memory", on(Transport::InMemory, VeltaRoad), inMemory, only);
    level &= Report("Pallix in memory", on(Transport::InMemory, PallixRoad), inMemory, only);
    level &= Report("Oskin in memory", on(Transport::InMemory, OskinRoad), inMemory, only);
    level &= Report(
        "Dravo ax88179",
        [](FaultPlan& plan, const std::function<void()>& arm) {
            return DravoRoad(tvo::DockSim::DravoChip::Ax88179, plan, arm);
        },
        inMemory, only);
    level &= Report("Velta loopback", on(Transport::Loopback, VeltaRoad), loopback, only);
    level &= Report("Pallix loopback", on(Transport::Loopback, PallixRoad), loopback, only);
    level &= Report("Oskin loopback", on(Transport::Loopback, OskinRoad), loopback, only);
    return level ? 0 : 1;
}
