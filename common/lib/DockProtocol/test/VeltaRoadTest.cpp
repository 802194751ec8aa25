// A host's whole roads on a Velta dock, on an in-memory network.

#include "VeltaRoads.h"

namespace tvo::velta_test {
namespace {

TEST(VeltaRoad, HelloAssociationServerInfoAndAShutdownOrder) {
    AssociationRoad(InMemory());
}

TEST(VeltaRoad, StatusReportsAndTheBaseLog) {
    ReportingRoad(NeverApproving());
}

TEST(VeltaRoad, FirmwareAndConfigurationQuestions) {
    FirmwareRoad(NeverApproving());
}

}  // namespace
}  // namespace tvo::velta_test
