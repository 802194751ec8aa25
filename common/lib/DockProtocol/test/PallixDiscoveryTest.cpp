// The hello: its text, and the wait for it over real loopback sockets with
// the waits on a virtual clock.

#include "DockProtoPallixImpl.h"

#include <DockProtocol/DockProtoPallix.h>
#include <DockSim/PallixDock.h>
#include <FileDescriptor/FileDescriptor.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <optional>
#include <string>

namespace tvo {
namespace {

using namespace std::chrono_literals;
using DockSim::PallixDock;
using DockSim::PallixDockSetup;
using DockSim::PallixHello;
using RC = DockProtoIF::ReturnCode;

const std::string kDockEntry = "\n# Pallix address\n::1\tlocalhost\n";

bool Logged(CaptureSink& sink, LogLevel level, const std::string& text) {
    for (const auto& line : sink.Lines()) {
        if (line.level == level && line.text == text) {
            return true;
        }
    }
    return false;
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
        PallixDockSetup setup;
        setup.hello = PallixHello::None;
        PallixDock dock(setup);
        DockProtoPallix camera(dock.Environment());
        const DockSim::PallixHelloSender sender("::1", dock.DiscoveryPort());
        dock.Clock().After(200ms, [&] { sender.Send("KORVEL-PSS-HELLO,acsp=" + field + ",id=dock"); });
        ScopedLogCapture log;
        EXPECT_EQ(camera.SayHello(), RC::Ok);
        EXPECT_TRUE(log.Sink().Contains("The hello names no usable agent port"));
        EXPECT_EQ(camera.GetServerInfo().code, RC::Failed);
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, "No agent port from the dock's hello; nothing sent"));
        EXPECT_TRUE(dock.Agent().Requests().empty());
    }
}

TEST(PallixDiscovery, EveryHelloKindOverLoopback) {
    for (const auto& known : DockSim::PallixHelloKinds()) {
        SCOPED_TRACE(std::string(known.name));
        PallixDockSetup setup;
        setup.hello = known.kind;
        PallixDock dock(setup);
        DockProtoPallix camera(dock.Environment());
        ScopedLogCapture log;
        const auto port = DockSim::PallixLearntPort(known.kind, dock.Agent().Port());

        EXPECT_EQ(camera.SayHello(), port ? RC::Ok : RC::Failed);
        EXPECT_TRUE(dock.SendErrors().empty());
        const std::string hosts = dock.HostsText();
        if (DockSim::PallixHelloHeard(known.kind)) {
            EXPECT_EQ(hosts, setup.hostsText + kDockEntry);
            EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info, "Pallix IPv6 address: ::1"));
        } else {
            EXPECT_EQ(hosts, setup.hostsText);
            EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info, "Resource temporarily unavailable"));
        }
        if (port) {
            EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info,
                               "Got discovery message from Pallix. Agent port number is: " + *port));
        }
        if (known.kind == PallixHello::NoMagic) {
            EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, "Failed to parse the hello message"));
        }
        if (known.kind == PallixHello::ZeroInside) {
            EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info, "Read hello message: KORVEL-PSS-HELLO,acsp=" + *port));
        }
    }
}

TEST(PallixDiscovery, ListensSixPollsOf200MsAndNoLonger) {
    PallixDockSetup silent;
    silent.hello = PallixHello::None;
    PallixDock dock(silent);
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
    PallixDock dock;
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
    struct Case {
        std::string name;
        std::function<void(ProtocolEnvironment&)> change;
        std::string error;
        std::size_t sleeps;
    };
    const Case cases[] = {
        {"missing interface", [](ProtocolEnvironment& e) { e.pallix.interfaceName = "nosuchif0"; },
         "Failed to bind socket to device: No such device", 0},
        {"hosts file", [&](ProtocolEnvironment& e) { e.pallix.hostsFile = unopenable; }, "Failed to open " + unopenable,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PallixDock dock;
        ProtocolEnvironment environment = dock.Environment();
        c.change(environment);
        DockProtoPallix camera(environment);
        ScopedLogCapture log;
        EXPECT_EQ(camera.SayHello(), RC::Failed);
        EXPECT_EQ(dock.Clock().Sleeps(), c.sleeps);
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, c.error));
    }
}

TEST(PallixDiscovery, APortTakenWithoutAddressReuseFailsTheBind) {
    PallixDock dock;
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    FileDescriptor holder(fd);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(static_cast<std::uint16_t>(dock.DiscoveryPort()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    DockProtoPallix camera(dock.Environment());
    ScopedLogCapture log;
    EXPECT_EQ(camera.SayHello(), RC::Failed);
    EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, "Failed to bind socket to address: Address already in use"));
}

}  // namespace
}  // namespace tvo
