// Hosts-file entries: appended blocks, and texts from the network that must
// never reach the file.

#include "DockProtoPallixImpl.h"

#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

namespace tvo {
namespace {

class PallixHosts : public ::testing::Test {
protected:
    PallixHosts() {
        WriteFile(hostsFile, "127.0.0.1\tlocalhost");
        environment.pallix.hostsFile = hostsFile;
    }

    TempDir directory;
    std::string hostsFile = directory.file("hosts").string();
    ProtocolEnvironment environment = ProtocolEnvironment::Production();
};

TEST_F(PallixHosts, EachCallAppendsAWholeBlockEvenAfterALastLineWithoutNewline) {
    DockProtoPallixImpl pallix(environment);
    ScopedLogCapture log;
    EXPECT_TRUE(pallix.AddHostName("fe80::4040:83ff:fee4:6904", "pallix-dock.local"));
    EXPECT_TRUE(pallix.AddHostName("fe80::4040:83ff:fee4:6904", "pallix-dock.local"));
    EXPECT_TRUE(pallix.AddHostName("203.0.113.71", "Proxy-2.local"));
    const std::string block = "\n# Pallix address\nfe80::4040:83ff:fee4:6904\tpallix-dock.local\n";
    EXPECT_EQ(ReadFile(hostsFile),
              "127.0.0.1\tlocalhost" + block + block + "\n# Pallix address\n203.0.113.71\tProxy-2.local\n");
    EXPECT_TRUE(log.Sink().Contains("Added pallix-dock.local to " + hostsFile));
}

TEST_F(PallixHosts, RefusesAnythingButAnAddressLiteralAndAPlainName) {
    DockProtoPallixImpl pallix(environment);
    const std::pair<std::string, std::string> refused[] = {
        {"", "pallix-proxy.local"},
        {"10.9.8.7 mail.example", "pallix-proxy.local"},
        {"10.9.8.7\n10.9.8.7\tbank.example", "pallix-proxy.local"},
        {"10.9.8.7\t", "pallix-proxy.local"},
        {"10.9.8.7#", "pallix-proxy.local"},
        {"fe80::1%usb0", "pallix-proxy.local"},
        {"proxy.example", "pallix-proxy.local"},
        {"10.9.8.7", ""},
        {"10.9.8.7", "pallix proxy"},
        {"10.9.8.7", "pallix-proxy.local\n10.6.6.6 bank.example"},
        {"10.9.8.7", "pallix#proxy"},
        {"10.9.8.7", "pr\xc3\xb6xy"},
    };
    for (const auto& [address, name] : refused) {
        ScopedLogCapture log;
        EXPECT_FALSE(pallix.AddHostName(address, name)) << address << " / " << name;
        ASSERT_EQ(log.Sink().Lines().size(), 1u);
        EXPECT_EQ(log.Sink().Lines()[0].level, LogLevel::Error);
        // The log line stays one line whatever the text held.
        EXPECT_EQ(log.Sink().Lines()[0].text.find('\n'), std::string::npos);
    }
    EXPECT_EQ(ReadFile(hostsFile), "127.0.0.1\tlocalhost");
}

TEST_F(PallixHosts, AFileThatCannotBeOpenedIsReported) {
    environment.pallix.hostsFile = directory.file("missing/hosts").string();
    DockProtoPallixImpl pallix(environment);
    ScopedLogCapture log;
    EXPECT_FALSE(pallix.AddHostName("::1", "pallix-dock.local"));
    EXPECT_TRUE(log.Sink().Contains("Failed to open " + environment.pallix.hostsFile));
}

}  // namespace
}  // namespace tvo
