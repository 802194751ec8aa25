#include "Common/Network.h"

#include "Logger/LogClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace tvo {
namespace {

using ::testing::_;

class MockLinuxApi : public LinuxApiIF {
public:
    MOCK_METHOD(int, ioctl, (int fd, unsigned long request, char* arg), (override));
};

// Answers one ioctl by letting fill edit the ifreq.
template <typename Fill>
auto Answer(Fill fill) {
    return [fill](int, unsigned long, char* arg) { return fill(*reinterpret_cast<ifreq*>(arg)), 0; };
}

auto FailWith(int error) {
    return [error](int, unsigned long, char*) { return errno = error, -1; };
}

TEST(InterfaceQueryTest, DecodesMacFlagsAndAddress) {
    MockLinuxApi api;
    const unsigned char raw[6] = {0x02, 0x1a, 0xff, 0x00, 0x7e, 0x80};
    EXPECT_CALL(api, ioctl(_, SIOCGIFHWADDR, _))
        .WillOnce(Answer([&](ifreq& req) {
            EXPECT_STREQ(req.ifr_name, "usb0");
            req.ifr_hwaddr.sa_family = ARPHRD_ETHER;
            std::memcpy(req.ifr_hwaddr.sa_data, raw, sizeof raw);
        }))
        .WillOnce(Answer([](ifreq& req) { req.ifr_hwaddr.sa_family = ARPHRD_NONE; }));
    const auto mac = GetInterfaceMAC("usb0", api);
    ASSERT_EQ(mac.size(), 6u);
    EXPECT_EQ(FormatMacAddress(gsl::span<const std::byte, 6>(mac.data(), 6)), "02:1a:ff:00:7e:80");
    EXPECT_TRUE(GetInterfaceMAC("tun0", api).empty()) << "no Ethernet address, no MAC";

    EXPECT_CALL(api, ioctl(_, SIOCGIFFLAGS, _))
        .WillOnce(Answer([](ifreq& req) { req.ifr_flags = IFF_RUNNING | IFF_BROADCAST; }))
        .WillOnce(Answer([](ifreq& req) { req.ifr_flags = IFF_UP; }));
    EXPECT_FALSE(IsInterfaceUp("usb0", api));
    EXPECT_TRUE(IsInterfaceUp("usb0", api));

    EXPECT_CALL(api, ioctl(_, SIOCGIFADDR, _))
        .WillOnce(Answer([](ifreq& req) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            ::inet_pton(AF_INET, "10.20.30.40", &address.sin_addr);
            std::memcpy(&req.ifr_addr, &address, sizeof address);
        }))
        .WillOnce(Answer([](ifreq& req) { req.ifr_addr.sa_family = AF_INET6; }));
    EXPECT_EQ(GetInterfaceIp("usb0", api), "10.20.30.40");
    EXPECT_EQ(GetInterfaceIp("usb0", api), "");
}

TEST(InterfaceQueryTest, FailuresAndUnfitNamesGiveFailureResultsAndLog) {
    ScopedLogCapture capture(LogLevel::Detail);
    MockLinuxApi api;
    const std::string longest(IFNAMSIZ - 1, 'n');
    EXPECT_CALL(api, ioctl(_, _, _)).Times(3).WillRepeatedly(FailWith(ENODEV));
    EXPECT_TRUE(GetInterfaceMAC(longest, api).empty());
    EXPECT_FALSE(IsInterfaceUp(longest, api));
    EXPECT_EQ(GetInterfaceIp(longest, api), "");
    EXPECT_TRUE(capture.Sink().Contains(longest + ": SIOCGIFHWADDR failed: No such device"));

    // Names that cannot fit an ifreq never reach an ioctl.
    for (const std::string& name : {std::string(IFNAMSIZ, 'n'), std::string(300, 'x'), std::string()}) {
        EXPECT_TRUE(GetInterfaceMAC(name, api).empty());
        EXPECT_FALSE(IsInterfaceUp(name, api));
        EXPECT_EQ(GetInterfaceIp(name, api), "");
    }
    EXPECT_TRUE(capture.Sink().Contains("invalid interface name"));
}

}  // namespace
}  // namespace tvo
