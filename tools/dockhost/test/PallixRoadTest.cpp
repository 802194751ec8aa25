#include "Roads.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dockhost {
namespace {

TEST(PallixRoad, SimulatedRoadPrintsTheServerInfoAndTheEntries) {
    std::ostringstream out;
    RoadOptions options;
    options.dock = "Pallix";
    options.simulate = true;
    EXPECT_TRUE(RunRoad(options, out)) << out.str();
    EXPECT_NE(out.str().find("stationId: STATION-7"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("::1 localhost | ::1 pallix-proxy.local"), std::string::npos) << out.str();
}

TEST(PallixRoad, CancelFromASecondThreadEndsTheSlowOpenRequest) {
    std::ostringstream out;
    RoadOptions options;
    options.dock = "Pallix";
    options.simulate = true;
    options.cancelAfterMs = 50;
    EXPECT_TRUE(RunRoad(options, out)) << out.str();
    EXPECT_NE(out.str().find("ok   Cancel -> Ok"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("ok   GetServerInfo -> Failed"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace dockhost
