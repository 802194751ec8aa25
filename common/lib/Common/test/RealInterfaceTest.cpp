#include "Common/Network.h"

#include <gtest/gtest.h>

namespace tvo {
namespace {

// Read-only queries of the loopback interface through the real ioctls.
TEST(InterfaceQueryTest, RealLoopbackIsUpWithItsAddress) {
    EXPECT_TRUE(IsInterfaceUp("lo"));
    EXPECT_EQ(GetInterfaceIp("lo"), "127.0.0.1");
    EXPECT_TRUE(GetInterfaceMAC("lo").empty());
    EXPECT_FALSE(IsInterfaceUp("pmx-no-such0"));
}

}  // namespace
}  // namespace tvo
