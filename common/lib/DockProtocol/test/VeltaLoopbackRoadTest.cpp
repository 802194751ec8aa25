// The same roads as VeltaRoadTest, over loopback sockets: the real client,
// server and download carry them.

#include "VeltaRoads.h"

namespace tvo::velta_test {
namespace {

TEST(VeltaLoopbackRoad, HelloAssociationServerInfoAndAShutdownOrder) {
    AssociationRoad(OnLoopback(DockSim::VeltaBaseSetup{}));
}

TEST(VeltaLoopbackRoad, StatusReportsAndTheBaseLog) {
    ReportingRoad(OnLoopback());
}

TEST(VeltaLoopbackRoad, FirmwareAndConfigurationQuestions) {
    FirmwareRoad(OnLoopback());
}

}  // namespace
}  // namespace tvo::velta_test
