// The production setting every factory object gets, and the real sleep.

#include <DockProtocol/ProtocolEnvironment.h>

#include <gtest/gtest.h>

#include <chrono>

namespace tvo {
namespace {

using namespace std::chrono_literals;

// The camera's own network and files, as the docks expect them.
TEST(ProtocolEnvironment, ProductionIsTheCamerasSetting) {
    const ProtocolEnvironment& production = ProtocolEnvironment::Production();
    EXPECT_EQ(&production, &ProtocolEnvironment::Production());
    EXPECT_EQ(production.velta.baseAddress, "192.168.99.1");
    EXPECT_EQ(production.velta.listenAddress, "192.168.99.2");
    EXPECT_EQ(production.velta.basePort, 55006);
    EXPECT_EQ(production.velta.listenPort, 55006);
    EXPECT_EQ(production.velta.logPipe, "/tmp/wifilogpipe");
    EXPECT_EQ(production.velta.logRequestTimeout, 2000ms);
    EXPECT_EQ(production.oskin.listenAddress, "127.0.0.1");
    EXPECT_EQ(production.pallix.interfaceName, "usb0");
    EXPECT_EQ(production.pallix.discoveryPort, 9009);
    EXPECT_EQ(production.pallix.hostsFile, "/etc/hosts");
    EXPECT_EQ(production.dravo.interfaceName, "eth0");
    EXPECT_EQ(production.files.calls, FileCalls::System());
    EXPECT_TRUE(production.system.sleep && production.system.toggleConnection && production.transport.makeHttpClient);
}

TEST(ProtocolEnvironment, TheRealSleepWaitsTheWholeIntervalOrNotAtAll) {
    const auto start = std::chrono::steady_clock::now();
    SleepFor(0ns);
    SleepFor(-5ms);
    SleepFor(1500us);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1500us);
}

}  // namespace
}  // namespace tvo
