// The block handshake between the camera code and the emulated ax88179 dock,
// on the virtual clock: the misbehaviours the camera rides out must leave the
// configuration intact, the others must end in Failed within the waits allowed.

#include <DockSim/DravoCradle.h>

#include <DockProtocol/DockProtoDravo.h>
#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <linux/sockios.h>

namespace tvo::DockSim {
namespace {

using RC = DockProtoIF::ReturnCode;
using std::chrono::milliseconds;

struct Transfer {
    std::vector<RC> codes;  // SayHello, then each BlockProtocol
    milliseconds waited{0};
    std::vector<std::string> mismatches;
    std::vector<std::uint16_t> counters;
    unsigned char header = 0;
    std::vector<std::string> trace;
};

DravoCradleSetup AxSetup(std::vector<DockFaultAt> faults = {}, milliseconds reaction = {}) {
    auto setup = CradleSetupFor(SampleDravoConfiguration(DravoChip::Ax88179));
    setup.faults = std::move(faults);
    setup.reaction = reaction;
    return setup;
}

Transfer RunTransfer(const DravoCradleSetup& setup) {
    ScopedLogCapture quiet(LogLevel::Error);
    DravoCradle cradle(setup);
    DockProtoDravo camera(cradle.Environment());
    Transfer run;
    run.codes.push_back(camera.SayHello());
    while (run.codes.back() == RC::InProgress && run.codes.size() < 50) {
        run.codes.push_back(camera.BlockProtocol());
    }
    run.waited = std::chrono::duration_cast<milliseconds>(cradle.Clock().Slept());
    run.header = cradle.Adapter().Eeprom()[0x70];
    for (const auto& write : cradle.Adapter().EepromWrites()) {
        if (write.offset == 0x72) {
            run.counters.push_back(static_cast<std::uint16_t>(write.bytes[0] | write.bytes[1] << 8));
        }
    }
    if (run.codes.back() == RC::Ok) {
        run.mismatches = DravoMismatches(SampleDravoConfiguration(DravoChip::Ax88179), setup.mac,
                                         camera.ProvisionNetwork().value, camera.GetServerInfo().value);
    }
    run.trace = cradle.Dock()->Trace();
    return run;
}

std::string Describe(const Transfer& run) {
    std::string text;
    for (const auto& line : run.trace) {
        text += "\n  " + line;
    }
    return text;
}

TEST(DravoHandshake, PromptDockDeliversOneBlockPerCallWithoutWaiting) {
    const auto run = RunTransfer(AxSetup());
    EXPECT_EQ(run.codes, (std::vector<RC>{RC::InProgress, RC::InProgress, RC::InProgress, RC::InProgress,
                                          RC::InProgress, RC::Ok}));
    EXPECT_EQ(run.waited, milliseconds(0));
    EXPECT_TRUE(run.counters.empty());
    EXPECT_EQ(run.header, 0x15) << "block 5 marked read";
    EXPECT_TRUE(run.mismatches.empty()) << run.mismatches.front();
}

TEST(DravoHandshake, PollingDockCostsOneWaitPerLaterBlock) {
    auto setup = AxSetup({}, milliseconds(100));
    {
        // Right after SayHello the dock has not yet noticed block 0 was read.
        DravoCradle cradle(setup);
        DockProtoDravo camera(cradle.Environment());
        ASSERT_EQ(camera.SayHello(), RC::InProgress);
        EXPECT_EQ(cradle.Adapter().Eeprom()[0x70], 0x10);
        const auto& image = camera.GetEeprom().GetImage();
        EXPECT_TRUE(std::equal(image.begin() + 128, image.begin() + 192, setup.image.begin() + 128));
        EXPECT_EQ(image[192], 0) << "nothing of block 1 yet";
    }
    const auto run = RunTransfer(setup);
    EXPECT_EQ(run.codes.size(), 6u);
    EXPECT_EQ(run.waited, milliseconds(5 * 250));
    EXPECT_EQ(run.counters, (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(run.mismatches.empty());
}

struct Recoverable {
    const char* name;
    std::vector<DockFaultAt> faults;
    std::size_t calls;  // SayHello and BlockProtocol together
    milliseconds waited;
};

void PrintTo(const Recoverable& recoverable, std::ostream* out) {
    *out << recoverable.name;
}

class DravoRecoverable : public testing::TestWithParam<Recoverable> {};

TEST_P(DravoRecoverable, CameraRidesItOutWithTheConfigurationIntact) {
    const auto& want = GetParam();
    const auto run = RunTransfer(AxSetup(want.faults));
    EXPECT_EQ(run.codes.back(), RC::Ok) << Describe(run);
    EXPECT_EQ(run.codes.size(), want.calls) << Describe(run);
    EXPECT_EQ(run.waited, want.waited) << Describe(run);
    EXPECT_EQ(run.header, 0x15);
    for (const auto& mismatch : run.mismatches) {
        ADD_FAILURE() << mismatch << Describe(run);
    }
}

constexpr auto kStall = DockFault::Stall;
constexpr auto kRepeat = DockFault::RepeatBlock;
constexpr auto kSkip = DockFault::SkipBlock;
constexpr auto kResync = DockFault::AskResync;
constexpr auto kEarly = DockFault::EarlyReadComplete;

INSTANTIATE_TEST_SUITE_P(Misbehaviours, DravoRecoverable,
                         testing::Values(
                             // Out-of-order blocks cost one resynchronising call each.
                             Recoverable{"SkipFirst", {{kSkip, 0}}, 7, milliseconds(0)},
                             Recoverable{"SkipLast", {{kSkip, 4}}, 7, milliseconds(0)},
                             Recoverable{"Repeat", {{kRepeat, 2}}, 7, milliseconds(0)},
                             // Busy flags are waited out while the third look can still succeed.
                             Recoverable{"StallAtHello", {{kStall, 0, milliseconds(400)}}, 6, milliseconds(500)},
                             Recoverable{"StallTwoWaits", {{kStall, 3, milliseconds(500)}}, 6, milliseconds(500)},
                             Recoverable{"DockAsksResync", {{kResync, 1, milliseconds(250)}}, 6, milliseconds(250)},
                             Recoverable{"EarlyReadComplete", {{kEarly, 5, milliseconds(499)}}, 6, milliseconds(500)},
                             Recoverable{"AllAtOnce",
                                         {{kSkip, 1},
                                          {kRepeat, 2},
                                          {kStall, 3, milliseconds(300)},
                                          {kResync, 4, milliseconds(100)},
                                          {kEarly, 5, milliseconds(200)}},
                                         8,
                                         milliseconds(1000)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DravoHandshake, DockBusyBeyondTheThirdLookFailsAfterThreeWaits) {
    for (const auto& fault : {DockFaultAt{kStall, 2, milliseconds(501)}, DockFaultAt{kResync, 3, milliseconds(5000)},
                              DockFaultAt{kEarly, 4, milliseconds(800)}}) {
        const auto run = RunTransfer(AxSetup({fault}));
        SCOPED_TRACE(std::string(FaultName(fault.fault)));
        EXPECT_EQ(run.codes.back(), RC::Failed) << Describe(run);
        EXPECT_EQ(run.codes.size(), fault.block + 1u);
        EXPECT_EQ(run.waited, milliseconds(750));
        EXPECT_EQ(run.counters, (std::vector<std::uint16_t>{1, 2, 3}));
    }
    const auto atHello = RunTransfer(AxSetup({{kStall, 0, milliseconds(2000)}}));
    EXPECT_EQ(atHello.codes, std::vector<RC>{RC::Failed});
}

// Calls BlockProtocol while it answers InProgress, at most limit times;
// the answers, SayHello's first when it is given.
std::vector<RC> Continue(DockProtoDravo& camera, std::vector<RC> codes, std::size_t limit = 20) {
    for (std::size_t i = 0; i < limit && codes.back() == RC::InProgress; ++i) {
        codes.push_back(camera.BlockProtocol());
    }
    return codes;
}

// The host starts over with SayHello after a failed transfer, and after
// giving up on one that makes no progress: the next transfer delivers the
// whole configuration.
TEST(DravoHandshake, AfterAFailedOrStuckTransferSayHelloStartsOver) {
    const auto intact = [](const DravoCradle& cradle, DockProtoDravo& camera) {
        return DravoMismatches(SampleDravoConfiguration(DravoChip::Ax88179), cradle.Setup().mac,
                               camera.ProvisionNetwork().value, camera.GetServerInfo().value);
    };
    {
        // Busy past the third look at block 2: Failed, then the dock goes on.
        DravoCradle cradle(AxSetup({{kStall, 2, milliseconds(1000)}}));
        DockProtoDravo camera(cradle.Environment());
        EXPECT_EQ(Continue(camera, {camera.SayHello()}).back(), RC::Failed);
        const auto again = Continue(camera, {camera.SayHello()});
        EXPECT_EQ(again.back(), RC::Ok) << Describe({again, {}, {}, {}, 0, cradle.Dock()->Trace()});
        EXPECT_EQ(again.size(), 8u) << "a resync each side before block 0";
        EXPECT_TRUE(intact(cradle, camera).empty());
    }
    {
        // The cradle restarted after block 2: no block the camera expects
        // comes again, and each call answers at once.
        DravoCradle cradle(AxSetup());
        DockProtoDravo camera(cradle.Environment());
        ASSERT_EQ(Continue(camera, {camera.SayHello()}, 2).back(), RC::InProgress);
        cradle.Redock();
        const auto stuck = Continue(camera, {RC::InProgress}, 20);
        EXPECT_EQ(stuck.back(), RC::InProgress);
        EXPECT_EQ(cradle.Clock().Slept(), milliseconds(0));
        const auto again = Continue(camera, {camera.SayHello()});
        EXPECT_EQ(again.back(), RC::Ok);
        EXPECT_TRUE(intact(cradle, camera).empty());
    }
}

TEST(DravoHandshake, DriverNamesOtherThanTheAx88179sTakeTheWholeImageRoad) {
    // On an ax88179 cradle that road fails: its EEPROM is half the size.
    for (const auto& name : {std::string("ax88179_17"), std::string("other_eth"), std::string(32, 'a')}) {
        auto setup = AxSetup();
        setup.driverName = name;
        const auto run = RunTransfer(setup);
        EXPECT_EQ(run.codes, std::vector<RC>{RC::Failed}) << name;
    }
    auto lan = CradleSetupFor(SampleDravoConfiguration(DravoChip::Lan7850));
    lan.driverName = "other_eth";
    DravoCradle cradle(lan);
    DockProtoDravo camera(cradle.Environment());
    EXPECT_EQ(camera.SayHello(), RC::Ok);
    EXPECT_TRUE(DravoMismatches(SampleDravoConfiguration(DravoChip::Lan7850), lan.mac, camera.ProvisionNetwork().value,
                                camera.GetServerInfo().value)
                    .empty());
}

}  // namespace
}  // namespace tvo::DockSim
