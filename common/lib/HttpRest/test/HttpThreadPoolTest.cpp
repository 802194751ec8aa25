// The one pool behind every client and server: its size is chosen once,
// before the first use, and the pool is drained before the process ends.
// Each test needs a process whose pool does not exist yet: this program
// holds nothing else, and the second test runs in a process of its own.

#include "HttpRest/HttpThreadPool.h"

#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <pplx/threadpool.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>

namespace tvo {
namespace {

TEST(HttpThreadPool, TheSizeIsChosenOnceAndABusyPoolIsNotWaitedForLong) {
    ScopedLogCapture log;
    EXPECT_THROW(SetHttpThreadPoolSize(0), std::invalid_argument);
    DrainHttpThreadPool();  // nothing to drain yet
    EXPECT_EQ(HttpThreadPoolSize(), 0u);

    SetHttpThreadPoolSize(2);
    EnsureHttpThreadPool();
    EXPECT_EQ(HttpThreadPoolSize(), 2u);
    EXPECT_THROW(SetHttpThreadPoolSize(3), std::logic_error);

    // Both threads held: the drain gives up instead of waiting for them.
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    auto& service = crossplat::threadpool::shared_instance().service();
    for (int i = 0; i < 2; ++i) {
        service.post([released] { released.wait(); });
    }
    DrainHttpThreadPool();
    EXPECT_TRUE(log.Sink().Contains("HTTP thread pool still busy, not drained"));
    release.set_value();
    DrainHttpThreadPool();
}

TEST(HttpThreadPoolDeathTest, APoolStartedBeforeUsIsKept) {
    if (std::string(PMX_TEST_EMULATOR).size() > 0) {
        GTEST_SKIP() << "the program cannot start itself again under an emulator";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ScopedLogCapture log;
            crossplat::threadpool::shared_instance();
            EnsureHttpThreadPool();
            const bool kept = log.Sink().Contains("HTTP thread pool was already running") && HttpThreadPoolSize() == 0;
            std::exit(kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tvo
