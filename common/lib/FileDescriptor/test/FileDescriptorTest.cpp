#include "FileDescriptor/FileDescriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace tvo {
namespace {

bool IsOpenInKernel(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

class FileDescriptorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    void TearDown() override {
        for (int fd : fds) {
            if (IsOpenInKernel(fd)) {
                ::close(fd);
            }
        }
    }
    int fds[2] = {-1, -1};
};

TEST_F(FileDescriptorTest, ClosesWhatItOwnsAndNothingElse) {
    {
        FileDescriptor owner(fds[0]);
        owner.Reset(fds[1]);
        EXPECT_FALSE(IsOpenInKernel(fds[0]));
        owner.Reset(fds[1]);  // the same number must not be closed under us
        EXPECT_TRUE(IsOpenInKernel(fds[1]));
        FileDescriptor released(owner.Release(), [](int) { return ADD_FAILURE(), 0; });
        EXPECT_EQ(owner.Release(), -1);
        EXPECT_EQ(released.Release(), fds[1]);
        FileDescriptor negative(-5, [](int) { return ADD_FAILURE(), 0; });
        EXPECT_FALSE(negative.IsOpen());
    }
    EXPECT_TRUE(IsOpenInKernel(fds[1]));
}

TEST_F(FileDescriptorTest, MoveTransfersOwnershipAndCloser) {
    std::vector<int> closed;
    auto closer = [&closed](int fd) { return closed.push_back(fd), ::close(fd); };
    {
        FileDescriptor first(fds[0], closer);
        FileDescriptor second(std::move(first));
        EXPECT_FALSE(first.IsOpen());
        EXPECT_EQ(first.Get(), -1);

        FileDescriptor third(fds[1], closer);
        third = std::move(second);
        EXPECT_EQ(closed, std::vector<int>{fds[1]});
        EXPECT_EQ(third.Get(), fds[0]);
        FileDescriptor& alias = third;
        third = std::move(alias);
        EXPECT_TRUE(third.IsOpen());
    }
    EXPECT_EQ(closed, (std::vector<int>{fds[1], fds[0]}));
}

}  // namespace
}  // namespace tvo
