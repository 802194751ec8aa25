// A camera that docks in one Pallix dock after another must reach the dock it
// sits in now. The name is resolved by the system from the real hosts file,
// so the scenario runs in a private mount namespace with a temporary file
// bind-mounted over /etc/hosts; the three agents listen on three loopback
// addresses, so an entry left from an earlier dock would reach that dock.

#include "DockProtoPallixImpl.h"

#include <DockSim/PallixAgent.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;

const char* kInner = "PallixDocksInTurn.DISABLED_InPrivateMountNamespace";

ino_t MountNamespace(const std::string& pid) {
    struct stat info {};
    return ::stat(("/proc/" + pid + "/ns/mnt").c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(PallixDocksInTurn, TheThirdDockIsReachedAfterTwoOthers) {
    const InnerTestRun inner = RunInNamespaces("--mount --propagation private", kInner, PMX_TEST_EMULATOR);
    if (inner.unavailable) {
        GTEST_SKIP() << "no private mount namespace here: " << inner.printed;
    }
    EXPECT_TRUE(inner.passed) << inner.printed;
}

// Run only by the test above, inside the namespace it made.
TEST(PallixDocksInTurn, DISABLED_InPrivateMountNamespace) {
    // Never bind-mount over the machine's own hosts file.
    ASSERT_NE(MountNamespace("self"), MountNamespace(std::to_string(::getppid())))
        << "run only through PallixDocksInTurn.TheThirdDockIsReachedAfterTwoOthers";
    TempDir scratch;
    const std::string hosts = scratch.file("hosts").string();
    WriteFile(hosts, "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost\n");
    ASSERT_EQ(::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0);

    ProtocolEnvironment environment = ProtocolEnvironment::Production();
    environment.pallix.interfaceName = "lo";
    environment.system.sleep = [](std::chrono::nanoseconds) {};
    ASSERT_EQ(environment.pallix.hostsFile, "/etc/hosts");

    // Three docks, one agent each, all on the same port of their own address.
    std::vector<std::unique_ptr<DockSim::PallixAgent>> agents;
    int port = 0;
    for (const char* address : {"127.0.0.1", "127.0.0.2", "127.0.0.3"}) {
        DockSim::PallixAgentSetup setup;
        setup.address = address;
        setup.port = port;
        setup.connectHost = "127.0.0.9";
        agents.push_back(std::make_unique<DockSim::PallixAgent>(setup));
        port = agents.back()->Port();
    }

    DockProtoPallixImpl camera(environment);
    camera.serialNumber = "PMX-0042";
    for (std::size_t dock = 0; dock < agents.size(); ++dock) {
        // What the dock's hello enters, then the open request.
        ASSERT_TRUE(camera.AddHostName("127.0.0." + std::to_string(dock + 1), environment.pallix.dockHostName));
        camera.agentPort = std::to_string(port);
        EXPECT_EQ(camera.GetServerInfo().code, RC::Ok) << "dock " << dock + 1;
        // An earlier dock's entry would have sent the request to that dock.
        for (std::size_t other = 0; other < agents.size(); ++other) {
            EXPECT_EQ(agents[other]->Requests().size(), other <= dock ? 1u : 0u)
                << "dock " << dock + 1 << ", agent " << other + 1;
        }
    }
    // The temporary file under the mount: what the camera wrote through it.
    const std::string text = ReadFile(hosts);
    EXPECT_EQ(text.rfind("127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost\n", 0), 0u);
    EXPECT_EQ(CountOccurrences(text, "pallix-dock.local"), 1u) << text;
    EXPECT_EQ(CountOccurrences(text, "pallix-proxy.local"), 1u) << text;
    EXPECT_NE(text.find("127.0.0.3\tpallix-dock.local\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace tvo
