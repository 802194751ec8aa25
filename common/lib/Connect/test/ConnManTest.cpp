#include "Connect/ConnMan.h"

#include "Logger/LogClient.h"
#include "TestSupport/TestSupport.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace tvo::connman {
namespace {

namespace fs = std::filesystem;

// A pretend "usb0"; its state outlives each LinuxApiIF handed out.
struct FakeInterface : LinuxApiIF {
    bool exists = true;
    short flags = IFF_BROADCAST | IFF_MULTICAST;
    int setError = 0;
    int writes = 0;
    int calls = 0;

    int ioctl(int, unsigned long request, char* arg) override {
        ++calls;
        auto& req = *reinterpret_cast<ifreq*>(arg);
        if (!exists || std::string(req.ifr_name) != "usb0") {
            return errno = ENODEV, -1;
        }
        if (request == SIOCGIFFLAGS) {
            return req.ifr_flags = flags, 0;
        }
        if (request != SIOCSIFFLAGS || setError != 0) {
            return errno = setError ? setError : EINVAL, -1;
        }
        ++writes;
        return flags = req.ifr_flags, 0;
    }
};

struct Borrowed : LinuxApiIF {
    explicit Borrowed(FakeInterface& nic) : nic(nic) {}
    int ioctl(int fd, unsigned long request, char* arg) override { return nic.ioctl(fd, request, arg); }
    FakeInterface& nic;
};

class ConnManTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root / "connman" / "sub");
        settings.provisioningDir = (root / "connman").string();
        settings.makeLinuxApi = [this] { return std::make_unique<Borrowed>(nic); };
    }
    const TempDir folder;
    const fs::path& root = folder.path();
    FakeInterface nic;
    Settings settings;
    ScopedLogCapture capture;
};

TEST_F(ConnManTest, PruneRemovesOnlyTheNamedFilesInsideTheDirectory) {
    const fs::path dir = settings.provisioningDir;
    for (const fs::path& file :
         {dir / "usb.config", dir / "usb0.config", dir / "wifi.config", dir / "sub" / "f", root / "victim"}) {
        std::ofstream(file) << "[service_usb]\n";
    }
    PruneProvisionFile("usb.config", "usb0.config", settings);
    EXPECT_FALSE(fs::exists(dir / "usb.config") || fs::exists(dir / "usb0.config"));
    EXPECT_TRUE(fs::exists(dir / "wifi.config"));

    PruneProvisionFile("../victim", "sub/f", settings);
    PruneProvisionFile("", "..", settings);
    EXPECT_TRUE(fs::exists(root / "victim") && fs::exists(dir / "sub" / "f"));
    EXPECT_TRUE(capture.Sink().Contains("not a plain file name"));

    // What cannot be removed stays, and the log says why.
    fs::create_directories(dir / "usb0.config" / "kept");
    PruneProvisionFile("usb.config", "usb0.config", settings);
    EXPECT_TRUE(fs::exists(dir / "usb0.config" / "kept"));
    EXPECT_TRUE(capture.Sink().Contains("cannot remove provisioning file " + (dir / "usb0.config").string()));
    fs::remove_all(dir / "usb0.config");

    // Already gone, or no directory at all: nothing to do, nothing thrown.
    PruneProvisionFile("usb.config", "usb0.config", settings);
    settings.provisioningDir = (root / "absent").string();
    PruneProvisionFile("usb.config", "usb0.config", settings);
}

TEST_F(ConnManTest, GadgetIsBroughtUpAndDownKeepingOtherFlags) {
    ToggleResult result = ToggleConnection(ConnectionType::UsbGadget, true, settings);
    EXPECT_TRUE(result.success) << result.error;
    EXPECT_EQ(nic.flags, IFF_BROADCAST | IFF_MULTICAST | IFF_UP);
    EXPECT_TRUE(ToggleConnection(ConnectionType::UsbGadget, true, settings).success);
    EXPECT_EQ(nic.writes, 1) << "an interface already up is not written again";
    EXPECT_TRUE(ToggleConnection(ConnectionType::UsbGadget, false, settings).success);
    EXPECT_EQ(nic.flags, IFF_BROADCAST | IFF_MULTICAST);
}

TEST_F(ConnManTest, FailuresSayWhy) {
    nic.setError = EPERM;
    ToggleResult result = ToggleConnection(ConnectionType::UsbGadget, true, settings);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, "usb0: SIOCSIFFLAGS failed: Operation not permitted");
    EXPECT_TRUE(capture.Sink().Contains(result.error));
    nic.exists = false;
    EXPECT_EQ(ToggleConnection(ConnectionType::UsbGadget, true, settings).error, "usb0: no such interface");

    const int callsBefore = nic.calls;
    EXPECT_EQ(ToggleConnection(ConnectionType::Wifi, true, settings).error, "connection type 2 not handled");
    EXPECT_FALSE(ToggleConnection(static_cast<ConnectionType>(99), true, settings).success);
    settings.gadgetInterface = std::string(IFNAMSIZ, 'u');
    EXPECT_FALSE(ToggleConnection(ConnectionType::UsbGadget, true, settings).success);
    settings.gadgetInterface = "usb0";
    settings.makeLinuxApi = nullptr;
    EXPECT_FALSE(ToggleConnection(ConnectionType::UsbGadget, true, settings).success);
    EXPECT_EQ(nic.calls, callsBefore);
}

}  // namespace
}  // namespace tvo::connman
