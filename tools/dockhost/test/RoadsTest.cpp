#include "LinkCheck.h"
#include "RoadWait.h"
#include "Roads.h"

#include <TestSupport/TestSupport.h>

#include <atomic>
#include <thread>

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

TEST(RoadWait, EndsOnDoneOnTheLimitOrOnCtrlC) {
    std::ostringstream out;
    RoadReport report(out, false);
    WaitSettings quick;
    quick.limit = std::chrono::milliseconds(1200);
    quick.pause = std::chrono::milliseconds(10);
    int calls = 0;
    EXPECT_EQ(WaitUntil("three calls", quick, report, [&] { return ++calls == 3; }), WaitEnd::Done);
    EXPECT_EQ(WaitUntil("nothing", quick, report, [] { return false; }), WaitEnd::TimedOut);
    EXPECT_NE(out.str().find("waiting for nothing: 1 s of 1 s"), std::string::npos) << out.str();

    SetInterrupted(true);
    EXPECT_EQ(WaitUntil("nothing", quick, report, [] { return false; }), WaitEnd::Interrupted);
    EXPECT_FALSE(Required(report, false, [] { return std::string("no usb0 interface"); }));
    SetInterrupted(false);
    EXPECT_EQ(report.Stopped(), "interrupted") << "Ctrl-C, not the link, ended it";
    EXPECT_FALSE(report.Passed());
}

TEST(RoadWait, AWatchdogFiresOnceItsLimitPassesUnlessStoppedFirst) {
    std::atomic<int> fired{0};
    Watchdog early(std::chrono::seconds(30), [&] { ++fired; });
    EXPECT_FALSE(early.Stop());
    Watchdog late(std::chrono::milliseconds(1), [&] { ++fired; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(late.Stop());
    EXPECT_EQ(fired, 1);
}

TEST(LinkCheck, NamesWhatIsMissing) {
    EXPECT_EQ(MissingInterface("lo"), "");
    EXPECT_EQ(MissingInterface("pmx-none0"), "no pmx-none0 interface");
    EXPECT_EQ(MissingAddress("lo", "127.0.0.1"), "");
    EXPECT_EQ(MissingAddress("lo", "192.0.2.1"), "no address 192.0.2.1 on lo");
    EXPECT_EQ(MissingAdapter("lo").rfind("no lo adapter of a known chip", 0), 0u);
    // A port nobody listens on: the kernel picks one, and it is closed again.
    const int port = tvo::FreeTcpPort();
    EXPECT_EQ(MissingListener("127.0.0.1", port, std::chrono::milliseconds(500)).rfind("nothing answering at", 0), 0u);
}

}  // namespace
}  // namespace dockhost
