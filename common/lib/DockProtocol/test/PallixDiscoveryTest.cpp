// The hello: its text, and the wait for it on an in-memory network with the
// waits on its virtual clock.

#include "DockProtoPallixImpl.h"
#include "PallixTestSupport.h"

#include <DockProtocol/DockProtoPallix.h>
#include <DockSim/PallixDock.h>
#include <DockSim/TestEnvironment.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

namespace tvo {
namespace {

using namespace std::chrono_literals;
using namespace pallixtest;
using DockSim::PallixDock;
using DockSim::PallixDockSetup;
using DockSim::PallixHello;
using RC = DockProtoIF::ReturnCode;

PallixDockSetup Silent() {
    PallixDockSetup setup = InMemory();
    setup.hello = PallixHello::None;
    return setup;
}

TEST(PallixHelloText, TakesTheFirstPortFieldOfATextWithTheMagic) {
    const struct {
        std::string text;
        std::optional<std::string> port;
    } cases[] = {
        {"KORVEL-PSS-HELLO,acsp=8080", "8080"},
        {"KORVEL-PSS-HELLO,acsp=8080,id=dock", "8080"},
        {"KORVEL-PSS-HELLO,acsp=,id=dock", ""},
        {"id=dock,KORVEL-PSS-HELLO,acsp=8080", "8080"},
        {"acsp=7,KORVEL-PSS-HELLO", "7"},
        {"KORVEL-PSS-HELLO,acsp=1,acsp=2", "1"},
        {"KORVEL-PSS-HELLOacsp=not a number", "not a number"},
        {"KORVEL-PSS-HELLO,id=dock", std::nullopt},
        {"korvel-pss-hello,acsp=8080", std::nullopt},
        {"KORVEL-PSS-HELL,acsp=8080", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DockProtoPallixImpl::ParseHello(c.text), c.port) << c.text;
    }
}

TEST(PallixHelloText, AnAgentPortIsOneToFiveDigitsUpTo65535) {
    for (const char* port : {"1", "80", "08080", "65535"}) {
        EXPECT_TRUE(DockProtoPallixImpl::IsAgentPort(port)) << port;
    }
    for (const char* port : {"", "0", "00000", "65536", "99999", "000080", "-80", "+80", " 80", "80 ", "80@10.0.0.5",
                             "@192.0.2.7:8080", "0x50", "8080/x"}) {
        EXPECT_FALSE(DockProtoPallixImpl::IsAgentPort(port)) << port;
    }
}

// Anything but a port number would put a host or path of the dock's choosing
// into the open request's URI, and the serial number with it.
TEST(PallixDiscovery, AHelloWithoutAUsablePortLeavesNoneAndTheOpenRequestIsNotSent) {
    for (const std::string field : {"", "99999", "80@10.0.0.5", "@192.0.2.7:8080"}) {
        SCOPED_TRACE(field);
        PallixDock dock(Silent());
        DockProtoPallix camera(dock.Environment());
        const auto network = dock.Setup().network;
        dock.Clock().After(200ms, [&] {
            network->SendDatagram(DockSim::kTestGadgetInterface, static_cast<std::uint16_t>(dock.DiscoveryPort()),
                                  "KORVEL-PSS-HELLO,acsp=" + field + ",id=dock", "::1");
        });
        ScopedLogCapture log;
        EXPECT_EQ(camera.SayHello(), RC::Ok);
        EXPECT_TRUE(log.Sink().Contains("The hello names no usable agent port"));
        EXPECT_EQ(camera.GetServerInfo().code, RC::Failed);
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, "No agent port from the dock's hello; nothing sent"));
        EXPECT_TRUE(dock.Agent().Requests().empty());
    }
}

TEST(PallixDiscovery, EveryHelloKind) {
    for (const auto& known : DockSim::PallixHelloKinds()) {
        SCOPED_TRACE(std::string(known.name));
        ExpectHelloKind(known.kind, InMemory());
    }
}

TEST(PallixDiscovery, ListensSixPollsOf200MsAndNoLonger) {
    PallixDock dock(Silent());
    DockProtoPallix camera(dock.Environment());
    EXPECT_EQ(camera.SayHello(), RC::Failed);
    EXPECT_EQ(dock.Clock().Sleeps(), 6u);
    EXPECT_EQ(dock.Clock().Slept(), 1200ms);

    // A hello during the fifth pause is read by the sixth poll.
    dock.PlanHello(PallixHello::WellFormed, 1000ms);
    EXPECT_EQ(camera.SayHello(), RC::Ok);
    EXPECT_EQ(dock.Clock().Sleeps(), 6u + 5u);
    // One during the sixth pause is not: there is no seventh poll.
    dock.PlanHello(PallixHello::WellFormed, 1200ms);
    EXPECT_EQ(camera.SayHello(), RC::Failed);
    EXPECT_EQ(dock.Clock().Sleeps(), 6u + 5u + 6u);
    EXPECT_EQ(CountOccurrences(dock.HostsText(), kDockEntry), 1u);
}

TEST(PallixDiscovery, AFailedHelloKeepsThePortLearntBefore) {
    PallixDock dock(InMemory());
    DockProtoPallix camera(dock.Environment());
    ASSERT_EQ(camera.SayHello(), RC::Ok);
    dock.PlanHello(PallixHello::NoMagic, 200ms);
    EXPECT_EQ(camera.SayHello(), RC::Failed);
    // The sender is entered before the text is looked at, in place of the
    // entry it had.
    EXPECT_EQ(CountOccurrences(dock.HostsText(), kDockEntry), 1u);
    EXPECT_EQ(camera.GetServerInfo().code, RC::Ok);
    EXPECT_EQ(dock.Agent().Requests().size(), 1u);
}

TEST(PallixDiscovery, SocketAndFileFailuresEndTheHelloWithOneErrorLine) {
    TempDir scratch;
    const std::string unopenable = scratch.file("no-such-directory/hosts").string();
    const std::string noDevice = "Failed to bind socket to device: No such device";
    struct Case {
        std::string name;
        std::function<void(PallixDock&, ProtocolEnvironment&)> change;
        std::string error;
        std::size_t sleeps;
    };
    const Case cases[] = {
        {"socket",
         [&](PallixDock& dock, ProtocolEnvironment&) { dock.Setup().network->FailNextDatagramSocket(noDevice); },
         noDevice, 0},
        {"hosts file", [&](PallixDock&, ProtocolEnvironment& e) { e.pallix.hostsFile = unopenable; },
         "Failed to open " + unopenable, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PallixDock dock(InMemory());
        ProtocolEnvironment environment = dock.Environment();
        c.change(dock, environment);
        DockProtoPallix camera(environment);
        ScopedLogCapture log;
        EXPECT_EQ(camera.SayHello(), RC::Failed);
        EXPECT_EQ(dock.Clock().Sleeps(), c.sleeps);
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, c.error));
        const auto lines = log.Sink().Lines();
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(), [](const auto& line) { return line.level == LogLevel::Error; }),
            1);
        // The next hello opens a socket again and is heard.
        dock.PlanHello();
        EXPECT_EQ(DockProtoPallix(dock.Environment()).SayHello(), RC::Ok);
    }
}

}  // namespace
}  // namespace tvo
