// Two hundred roads of each dock kind in one process, each with a fresh
// protocol object: descriptors and threads come back to what they were, and
// the live C++ heap levels off. Resident memory is printed beside it, not
// judged: the allocator keeps freed memory in per-thread arenas and caches,
// and how much depends on which pool thread ran what. The benchmark runs ten
// thousand.

#include "TortureRoads.h"

#include <gtest/gtest.h>

#include <iostream>

namespace tvo::torture {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers keep freed memory on purpose
#else
constexpr bool kSanitized = false;
#endif

void ExpectLevel(const std::string& name, const RoadRunner& road) {
    const SoakRun soak = Soak(road, 200, 50, LiveHeapKiB);
    EXPECT_EQ(soak.firstProblem, "") << name;
    ASSERT_EQ(soak.samples.size(), 5u);
    // The first hundred warm the pools up; what comes after must add nothing.
    const SoakSample& warm = soak.samples[2];
    const SoakSample& last = soak.samples.back();
    std::cout << name << ": " << warm.descriptors << " -> " << last.descriptors << " descriptors, " << warm.threads
              << " -> " << last.threads << " threads, " << warm.heapKiB << " -> " << last.heapKiB << " KiB heap, "
              << warm.residentKiB << " -> " << last.residentKiB << " KiB resident, " << last.msPerRoad
              << " ms a road\n";
    EXPECT_LE(last.descriptors, warm.descriptors) << name;
    EXPECT_LE(last.threads, warm.threads) << name;
    if (!kSanitized) {
        EXPECT_LT(last.heapKiB, warm.heapKiB + 256) << name;
    }
}

TEST(Soak, TwoHundredVeltaRoads) {
    ExpectLevel("Velta", [](FaultPlan& plan, const std::function<void()>& arm) { return VeltaRoad(plan, arm); });
}

TEST(Soak, TwoHundredPallixRoads) {
    ExpectLevel("Pallix", [](FaultPlan& plan, const std::function<void()>& arm) { return PallixRoad(plan, arm); });
}

TEST(Soak, TwoHundredOskinRoads) {
    ExpectLevel("Oskin", [](FaultPlan& plan, const std::function<void()>& arm) { return OskinRoad(plan, arm); });
}

TEST(Soak, TwoHundredDravoRoads) {
    ExpectLevel("Dravo", [](FaultPlan& plan, const std::function<void()>& arm) {
        return DravoRoad(DockSim::DravoChip::Ax88179, plan, arm);
    });
}

}  // namespace
}  // namespace tvo::torture
