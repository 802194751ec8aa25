#include "Roads.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dockhost {
namespace {

TEST(Roads, DefaultRoadPassesAndPrintsTheServerInfo) {
    std::ostringstream out;
    RoadOptions options;
    options.dock = "Default";
    EXPECT_TRUE(RunRoad(options, out));
    EXPECT_NE(out.str().find("DockProtoIF::ServerInfo --  dnsIp: "), std::string::npos);
    EXPECT_NE(out.str().find("slotId: \\x00"), std::string::npos) << "raw slot byte escaped";
}

TEST(Roads, UnknownDockFallsBackToDefaultRoad) {
    std::ostringstream out;
    RoadOptions options;
    options.dock = "Nonesuch";
    EXPECT_TRUE(RunRoad(options, out));
    EXPECT_NE(out.str().find("default protocol"), std::string::npos);
}

TEST(Roads, DravoRoadGivesBackWhatTheEmulatedCradleHolds) {
    for (const char* chip : {"ax88179", "lan7850"}) {
        std::ostringstream out;
        RoadOptions options;
        options.dock = "Dravo";
        options.simulate = true;
        options.chip = chip;
        options.interactive = true;
        EXPECT_TRUE(RunRoad(options, out)) << out.str();
        EXPECT_NE(out.str().find("ok   ConfigurationMatches"), std::string::npos) << chip;
        const bool blocks = out.str().find("blocks done: 5 of 6") != std::string::npos;
        EXPECT_EQ(blocks, std::string(chip) == "ax88179") << out.str();
    }
}

TEST(RoadReport, JsonLinesCarryStepVerdicts) {
    std::ostringstream out;
    RoadReport report(out, true);
    report.Step("SayHello", ReturnCode::Ok, {ReturnCode::Ok}, {{"key", "va\"lue"}});
    report.Step("GetServerInfo", ReturnCode::Failed, {ReturnCode::Ok});
    report.Finish("X");
    EXPECT_FALSE(report.Passed());
    const auto text = out.str();
    EXPECT_NE(text.find(R"("code":"Ok")"), std::string::npos);
    EXPECT_NE(text.find(R"("key":"va\"lue")"), std::string::npos);
    EXPECT_NE(text.find(R"("failed":1)"), std::string::npos);
}

}  // namespace
}  // namespace dockhost
