// Every dock kind's road with each of the camera's effects failing in turn,
// and with the dock pulled before each of them: one test per kind and kind
// of run, reporting its cases and the ones that differ from the promises.

#include "TortureRoads.h"

#include <gtest/gtest.h>

#include <iostream>

namespace tvo::torture {
namespace {

using DockSim::DravoChip;

void Expect(const std::string& road, const TortureReport& report, std::size_t fewestEffects) {
    std::cout << road << ": " << report.Text() << "\n";
    EXPECT_GE(report.effects, fewestEffects) << road;
    EXPECT_GT(report.cases, 0u) << road;
    EXPECT_TRUE(report.differences.empty()) << road << ": " << report.Text();
}

RoadRunner Velta() {
    return [](FaultPlan& plan, const std::function<void()>& arm) { return VeltaRoad(plan, arm); };
}
RoadRunner Pallix() {
    return [](FaultPlan& plan, const std::function<void()>& arm) { return PallixRoad(plan, arm); };
}
RoadRunner Oskin() {
    return [](FaultPlan& plan, const std::function<void()>& arm) { return OskinRoad(plan, arm); };
}
RoadRunner Dravo(DravoChip chip) {
    return [chip](FaultPlan& plan, const std::function<void()>& arm) { return DravoRoad(chip, plan, arm); };
}

TEST(VeltaTorture, EachEffectFailingInTurn) {
    Expect("Velta", EveryFailure(Velta(), VeltaPromises()), 10);
}

TEST(VeltaTorture, TheBasePulledAtEachStep) {
    Expect("Velta pulled", PulledAtEveryStep(Velta(), VeltaPromises()), 10);
}

TEST(PallixTorture, EachEffectFailingInTurn) {
    Expect("Pallix", EveryFailure(Pallix(), PallixPromises()), 3);
}

TEST(PallixTorture, TheDockPulledAtEachStep) {
    Expect("Pallix pulled", PulledAtEveryStep(Pallix(), PallixPulledPromises()), 3);
}

TEST(OskinTorture, EachEffectFailingInTurn) {
    Expect("Oskin", EveryFailure(Oskin(), OskinPromises()), 3);
}

TEST(OskinTorture, TheBasePulledAtEachStep) {
    Expect("Oskin pulled", PulledAtEveryStep(Oskin(), OskinPromises()), 3);
}

class DravoTorture : public ::testing::TestWithParam<DravoChip> {};

TEST_P(DravoTorture, EachEffectFailingInTurn) {
    const DravoChip chip = GetParam();
    Expect(std::string(DockSim::ChipName(chip)), EveryFailure(Dravo(chip), DravoPromises(DravoInterface(chip))), 5);
}

TEST_P(DravoTorture, TheCradlePulledAtEachStep) {
    const DravoChip chip = GetParam();
    Expect(std::string(DockSim::ChipName(chip)) + " pulled",
           PulledAtEveryStep(Dravo(chip), DravoPromises(DravoInterface(chip))), 5);
}

INSTANTIATE_TEST_SUITE_P(BothChips, DravoTorture, ::testing::Values(DravoChip::Lan7850, DravoChip::Ax88179),
                         [](const ::testing::TestParamInfo<DravoChip>& info) {
                             return std::string(DockSim::ChipName(info.param));
                         });

}  // namespace
}  // namespace tvo::torture
