// Hosts-file entries: appended blocks, and texts from the network that must
// never reach the file.

#include "DockProtoPallixImpl.h"

#include <DockSim/TestEnvironment.h>

#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

namespace tvo {
namespace {

using namespace std::string_literals;

class PallixHosts : public ::testing::Test {
protected:
    PallixHosts() {
        WriteFile(hostsFile, "127.0.0.1\tlocalhost");
        environment.pallix.hostsFile = hostsFile;
    }

    TempDir directory;
    std::string hostsFile = directory.file("hosts").string();
    ProtocolEnvironment environment = DockSim::TestEnvironment(directory.path().string());
};

TEST_F(PallixHosts, EachNameKeepsOnlyItsLatestEntryAtTheEnd) {
    DockProtoPallixImpl pallix(environment);
    ScopedLogCapture log;
    EXPECT_TRUE(pallix.AddHostName("fe80::4040:83ff:fee4:6904", "pallix-dock.local"));
    EXPECT_TRUE(pallix.AddHostName("203.0.113.71", "Proxy-2.local"));
    EXPECT_TRUE(pallix.AddHostName("fe80::1", "pallix-dock.local"));
    EXPECT_TRUE(pallix.AddHostName("fe80::1", "pallix-dock.local"));
    // The first block's newline ended the last line; the proxy's made an empty one.
    EXPECT_EQ(ReadFile(hostsFile),
              "127.0.0.1\tlocalhost\n"
              "\n# Pallix address\n203.0.113.71\tProxy-2.local\n"
              "\n# Pallix address\nfe80::1\tpallix-dock.local\n");
    EXPECT_TRUE(log.Sink().Contains("Added pallix-dock.local to " + hostsFile));
}

TEST(PallixHostsText, OnlyOurBlocksForTheNameGoEverythingElseStaysByteForByte) {
    const std::string others =
        "127.0.0.1\tlocalhost\n"
        "# Pallix address\n"  // ours, but for the other name
        "10.0.0.1\tpallix-proxy.local\n"
        "10.0.0.2\tpallix-dock.local\n"  // no comment: the administrator's own
        "# Pallix address\r\n"           // not exactly our comment
        "10.0.0.3\tpallix-dock.local\n"
        "\n\n# Pallix address\n"  // one of the two empty lines is ours
        "10.0.0.4\tpallix-dock.local.example\n"
        "# comment\n";
    const std::string ours = "\n# Pallix address\nfe80::9\tpallix-dock.local\n";
    EXPECT_EQ(DockProtoPallixImpl::WithoutEntriesFor(others, "pallix-dock.local"), others);
    EXPECT_EQ(DockProtoPallixImpl::WithoutEntriesFor(others + ours + ours, "pallix-dock.local"), others);
    // After a last line without a newline, our newline ended that line: it stays.
    EXPECT_EQ(DockProtoPallixImpl::WithoutEntriesFor("127.0.0.1\tlocalhost" + ours, "pallix-dock.local"),
              "127.0.0.1\tlocalhost\n");
    EXPECT_EQ(DockProtoPallixImpl::WithoutEntriesFor("# Pallix address\n::1\tpallix-dock.local", "pallix-dock.local"),
              "");
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
        // inet_pton stops at a NUL; what follows it must not reach the file.
        {"10.1.2.3\0\n10.9.8.7\tbank.example\t#"s, "pallix-proxy.local"},
        {"::1\0"s, "pallix-proxy.local"},
        {"10.9.8.7", "pallix-proxy.local\0evil"s},
    };
    std::vector<std::pair<std::string, std::string>> cases(std::begin(refused), std::end(refused));
    for (int c = 1; c < 0x20; ++c) {
        cases.emplace_back("10.9.8.7" + std::string(1, static_cast<char>(c)), "pallix-proxy.local");
        cases.emplace_back("10.9.8.7", "pallix" + std::string(1, static_cast<char>(c)) + "proxy");
    }
    cases.emplace_back("10.9.8.7", "pallix\x7f");
    for (const auto& [address, name] : cases) {
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
