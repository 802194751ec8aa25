// The Pallix dock over real sockets: hellos as UDP datagrams on loopback, the
// open request to a real HTTP agent, and the discovery socket failing to open
// on a real interface and port.

#include "PallixTestSupport.h"

#include <DockProtocol/DockProtoPallix.h>
#include <DockSim/PallixDock.h>
#include <FileDescriptor/FileDescriptor.h>
#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

namespace tvo {
namespace {

using namespace pallixtest;
using DockSim::PallixAnswer;
using DockSim::PallixDock;
using DockSim::PallixDockSetup;
using RC = DockProtoIF::ReturnCode;

// The kernel cuts the oversized hello and keeps the zero byte: every kind
// through a real socket.
TEST(PallixLoopback, EveryHelloKindAsAUdpDatagram) {
    for (const auto& known : DockSim::PallixHelloKinds()) {
        SCOPED_TRACE(std::string(known.name));
        ExpectHelloKind(known.kind, PallixDockSetup{});
    }
}

TEST(PallixLoopback, HelloThenOpenRequestToARealAgent) {
    PallixDockSetup setup;
    setup.agent.answers = {PallixAnswer::MalformedJson, PallixAnswer::Full};
    PallixDock dock(setup);
    DockProtoPallix camera(dock.Environment());
    ASSERT_EQ(camera.SayHello(), RC::Ok);
    camera.SetSerialNumber("PMX-0042");
    const auto result = camera.GetServerInfo();
    ASSERT_EQ(result.code, RC::Ok);
    EXPECT_EQ(result.value.primaryServerUrl, DockSim::PallixAgent::Offered().primaryUrl);
    EXPECT_EQ(dock.Agent().Requests(), (std::vector<std::string>{R"({"did":"PMX-0042"})", R"({"did":"PMX-0042"})"}));
    EXPECT_NE(dock.HostsText().find("\n# Pallix address\n::1\tpallix-proxy.local\n"), std::string::npos);
}

TEST(PallixLoopback, AMissingInterfaceFailsTheHelloAtOnce) {
    PallixDock dock;
    ProtocolEnvironment environment = dock.Environment();
    environment.pallix.interfaceName = "nosuchif0";
    DockProtoPallix camera(environment);
    ScopedLogCapture log;
    EXPECT_EQ(camera.SayHello(), RC::Failed);
    EXPECT_EQ(dock.Clock().Sleeps(), 0u);
    EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, "Failed to bind socket to device: No such device"));
}

TEST(PallixLoopback, APortTakenWithoutAddressReuseFailsTheBind) {
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
