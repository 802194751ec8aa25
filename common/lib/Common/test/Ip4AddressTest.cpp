#include "Common/Network.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <climits>
#include <cstring>
#include <stdexcept>

namespace tvo {
namespace {

TEST(Ip4AddressTest, GoodTextConvertsBothWaysInNetworkByteOrder) {
    const std::pair<const char*, unsigned int> cases[] = {
        {"1.2.3.4", 0x04030201u},   {"0.0.0.0", 0u}, {"255.255.255.255", 0xffffffffu}, {"127.0.0.1", 0x0100007fu},
        {"0.0.0.128", 0x80000000u},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(Ip4StringToInt(text), number) << text;
        EXPECT_EQ(Ip4IntToString(number), text);
        EXPECT_TRUE(ValidIPv4Address(text)) << text;
    }
    // Stored least significant byte first, the number is the wire address.
    const unsigned int number = Ip4StringToInt("192.0.2.77");
    unsigned char stored[4];
    for (int i = 0; i < 4; ++i) {
        stored[i] = static_cast<unsigned char>(number >> (8 * i));
    }
    in_addr wire{};
    ASSERT_EQ(::inet_pton(AF_INET, "192.0.2.77", &wire), 1);
    EXPECT_EQ(std::memcmp(stored, &wire, 4), 0);

    for (unsigned int n : {1u, 0x100u, 0x7fffffffu, 0xdeadbeefu, 0xfffffffeu}) {
        EXPECT_EQ(Ip4StringToInt(Ip4IntToString(n)), n) << std::hex << n;
    }
}

TEST(Ip4AddressTest, BadTextIsRejectedWithTheTextInTheMessage) {
    const std::string bad[] = {"",       "1.2.3",   "1.2.3.4.5", "256.1.1.1", " 1.2.3.4", "1.2.3.4 ",  "1.2.3.4x",
                               "1..3.4", "a.b.c.d", "1.2.3.-4",  "0x1.2.3.4", "01.2.3.4", "4294967295"};
    for (const std::string& text : bad) {
        EXPECT_FALSE(ValidIPv4Address(text)) << text;
        try {
            Ip4StringToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()), "invalid IPv4 address: '" + text + "'");
        }
    }
    // A NUL would end the text early for the C parser; it is shown, not hidden.
    const std::string withNul("1.2.3.4\0junk", 12);
    EXPECT_FALSE(ValidIPv4Address(withNul));
    try {
        Ip4StringToInt(withNul);
        ADD_FAILURE() << "accepted text with a NUL";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "invalid IPv4 address: '1.2.3.4\\x00junk'");
    }
}

TEST(Ip4AddressTest, PortRange) {
    EXPECT_TRUE(ValidIPv4Port(1) && ValidIPv4Port(65535));
    for (long port : {0L, -1L, 65536L, LONG_MAX, LONG_MIN}) {
        EXPECT_FALSE(ValidIPv4Port(port)) << port;
    }
}

}  // namespace
}  // namespace tvo
