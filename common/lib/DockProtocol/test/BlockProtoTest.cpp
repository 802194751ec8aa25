// The camera side of the block handshake against a scripted adapter: the
// order of requests, the counter, the waits and where blocks land.

#include "IoctlTestSupport.h"

#include <DockProtocol/EthtoolEeprom.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockSim/TestEnvironment.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <linux/sockios.h>

#include <numeric>

namespace tvo::DockProto {
namespace {

using testing::_;
using testing::InSequence;
using testing::Return;
using tvo::testing_support::Answer;
using tvo::testing_support::EepromRequest;
using tvo::testing_support::Keep;
using tvo::testing_support::MockLinuxApi;
using tvo::testing_support::WithEthernet;

class BlockProtoTest : public testing::Test {
protected:
    TempDir folder;
    BlockProtoTest() {
        auto environment = WithEthernet(DockSim::TestEnvironment(folder.path().string()));
        environment.system.sleep = [this](std::chrono::nanoseconds interval) { sleeps.push_back(interval); };
        auto owned = std::make_unique<MockLinuxApi>();
        api = owned.get();
        // Exactly six blocks of room: ASan reports any write beyond them.
        destination = std::make_unique<unsigned char[]>(6 * 64);
        reader = std::make_unique<BlockProto>(std::move(owned), destination.get(), environment);
    }

    auto ReadHeader() { return EepromRequest(ETHTOOL_GEEPROM, 0x70, 2); }
    auto WriteHeader() { return EepromRequest(ETHTOOL_SEEPROM, 0x70, 2); }
    auto WriteCounter() { return EepromRequest(ETHTOOL_SEEPROM, 0x72, 2); }
    auto ReadWindow() { return EepromRequest(ETHTOOL_GEEPROM, 0x1E, 64); }

    static std::vector<unsigned char> Block(unsigned char fill) { return std::vector<unsigned char>(64, fill); }

    MockLinuxApi* api = nullptr;
    std::unique_ptr<unsigned char[]> destination;
    std::unique_ptr<BlockProto> reader;
    std::vector<std::chrono::nanoseconds> sleeps;
    std::vector<std::vector<unsigned char>> headers;
    std::vector<std::vector<unsigned char>> counters;
};

TEST_F(BlockProtoTest, StartCopiesAReadyBlockZeroAndMarksItRead) {
    InSequence order;
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Answer({0x00, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadWindow())).WillOnce(Answer(Block(0xA5)));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteHeader())).WillOnce(Keep(headers));

    ASSERT_TRUE(reader->Start());
    EXPECT_EQ(reader->GetCurrentBlock(), 1);
    EXPECT_EQ(headers, (std::vector<std::vector<unsigned char>>{{0x10, 0x00}}));
    EXPECT_EQ(std::count(destination.get(), destination.get() + 64, 0xA5), 64);
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(BlockProtoTest, DockStillBusyThriceCountsWaitsAndFails) {
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).Times(3).WillRepeatedly(Answer({0x10, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteCounter())).Times(3).WillRepeatedly(Keep(counters));

    EXPECT_FALSE(reader->GetNext());
    EXPECT_EQ(counters, (std::vector<std::vector<unsigned char>>{{1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(sleeps, std::vector<std::chrono::nanoseconds>(3, std::chrono::milliseconds(250)));
    EXPECT_EQ(reader->GetCounter(), 3);
}

TEST_F(BlockProtoTest, DockAskingToResyncIsWaitedOutWithinTheAttempts) {
    InSequence order;
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Answer({0x20, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteCounter())).WillOnce(Return(0));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Answer({0x00, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadWindow())).WillOnce(Answer(Block(1)));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteHeader())).WillOnce(Return(0));

    EXPECT_TRUE(reader->Start());
    EXPECT_EQ(sleeps.size(), 1u);
}

TEST_F(BlockProtoTest, WrongBlockAsksForResyncWithoutReading) {
    InSequence order;
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Answer({0x03, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteHeader())).WillOnce(Keep(headers));

    EXPECT_TRUE(reader->GetNext());
    EXPECT_EQ(reader->GetCurrentBlock(), 0);
    EXPECT_EQ(headers, (std::vector<std::vector<unsigned char>>{{0x20, 0x00}}));
}

TEST_F(BlockProtoTest, FailuresEndTheStepAtOnce) {
    // A failed header read touches nothing else.
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Return(-1));
    EXPECT_FALSE(reader->Start());
    EXPECT_EQ(reader->GetCounter(), 0);
    testing::Mock::VerifyAndClearExpectations(api);

    // A failed counter write stops the waiting; the count is kept.
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Answer({0x10, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteCounter())).WillOnce(Return(-1));
    EXPECT_FALSE(reader->GetNext());
    EXPECT_EQ(reader->GetCounter(), 1);
    EXPECT_TRUE(sleeps.empty());
    testing::Mock::VerifyAndClearExpectations(api);

    // A failed window read leaves the block count alone.
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader())).WillOnce(Answer({0x00, 0}));
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadWindow())).WillOnce(Return(-1));
    EXPECT_FALSE(reader->GetNext());
    EXPECT_EQ(reader->GetCurrentBlock(), 0);
}

TEST_F(BlockProtoTest, SixBlocksFillTheAreaAndNothingGoesBeyond) {
    unsigned char next = 0;
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadHeader()))
        .Times(6)
        .WillRepeatedly([&next](int fd, unsigned long request, char* arg) {
            return Answer({next, 0})(fd, request, arg);
        });
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, ReadWindow()))
        .Times(6)
        .WillRepeatedly([&next](int fd, unsigned long request, char* arg) {
            return Answer(Block(static_cast<unsigned char>(0xB0 + next)))(fd, request, arg);
        });
    EXPECT_CALL(*api, ioctl(_, SIOCETHTOOL, WriteHeader()))
        .Times(6)
        .WillRepeatedly([this, &next](int fd, unsigned long request, char* arg) {
            ++next;
            return Keep(headers)(fd, request, arg);
        });

    ASSERT_TRUE(reader->Start());
    for (int call = 0; call < 5; ++call) {
        ASSERT_TRUE(reader->GetNext());
    }
    EXPECT_TRUE(reader->Complete());
    EXPECT_EQ(headers.back(), (std::vector<unsigned char>{0x15, 0x00}));
    for (int block = 0; block < 6; ++block) {
        EXPECT_EQ(destination[block * 64 + 63], 0xB0 + block) << block;
    }
    // Done means done: no request, nothing written.
    EXPECT_TRUE(reader->GetNext());
    EXPECT_FALSE(reader->GetBlock());
}

}  // namespace
}  // namespace tvo::DockProto
