// The request handle over real sockets: a request the base holds open is
// cancelled or dropped with its connection, and a long run of handles leaves
// no descriptor or thread behind.

#include "VeltaTestSupport.h"

#include <DockProtocol/RestHandle.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <cpprest/http_msg.h>
#include <pplx/pplxtasks.h>

#include <dirent.h>

namespace tvo::velta_test {
namespace {

using Task = RestHandle::ResponseTask;

std::size_t EntriesIn(const char* folder) {
    std::size_t count = 0;
    if (DIR* dir = ::opendir(folder)) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

// The base holds every charge report open until the camera gives up.
class RestHandleOnLoopback : public testing::Test {
protected:
    RestHandleOnLoopback() {
        DockSim::ReplyScript never;
        never.never = true;
        base.SetReply("charge_status", never);
    }

    std::unique_ptr<RestHandle> Start() {
        const std::string address = "http://127.0.0.1:" + std::to_string(base.Port()) + "/UsbRest/1.0";
        auto client = std::make_unique<HttpClient>(nullptr, address, std::chrono::milliseconds(0), nullptr);
        auto task = std::make_unique<Task>(client->request("PUT", "?type=charge_status", "{}"));
        return std::make_unique<RestHandle>(std::move(client), std::move(task));
    }

    DockSim::VeltaBase base{OnLoopback()};
};

TEST_F(RestHandleOnLoopback, CancelledWhileOutEndsAsDone) {
    ScopedLogCapture log;
    auto handle = Start();
    ASSERT_TRUE(base.WaitFor(Direction::CameraToBase, "charge_status", 1, kThreadWait));
    EXPECT_FALSE(handle->IsDone());
    handle->Cancel();
    EXPECT_TRUE(PollUntilDone(*handle));
    EXPECT_TRUE(log.Sink().Contains("cancel"));
}

TEST_F(RestHandleOnLoopback, DestroyedWhileOutFreesTheBaseForTheNextRequest) {
    for (std::size_t round = 1; round <= 3; ++round) {
        auto handle = Start();
        ASSERT_TRUE(base.WaitFor(Direction::CameraToBase, "charge_status", round, kThreadWait));
        handle.reset();  // cancels; the base sees the camera hang up
    }
    base.SetReply("charge_status", DockSim::ReplyScript{});
    auto answered = Start();
    EXPECT_TRUE(PollUntilDone(*answered));
}

TEST(RestHandleHost, AThousandHandlesPolledInTurnLeakNoDescriptorOrThread) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr int kHandles = 200;  // the same check, at a sanitizer's pace
#else
    constexpr int kHandles = 1000;
#endif
    VeltaRig rig(OnLoopback());
    auto pollToEnd = [&](DockProtoIF::ChargeStatus status) {
        auto started = rig.camera.SetChargeStatusAsync(status);
        ASSERT_EQ(started.code, RC::InProgress);
        ASSERT_TRUE(started.handle);
        ASSERT_TRUE(PollUntilDone(*started.handle));
    };
    // Warm up the pools so that their threads and sockets are counted before.
    for (int i = 0; i < 20; ++i) {
        pollToEnd(static_cast<DockProtoIF::ChargeStatus>(i % 5));
    }
    const std::size_t descriptors = EntriesIn("/proc/self/fd");
    const std::size_t threads = EntriesIn("/proc/self/task");
    for (int i = 0; i < kHandles; ++i) {
        pollToEnd(static_cast<DockProtoIF::ChargeStatus>(i % 5));
    }
    EXPECT_LE(EntriesIn("/proc/self/fd"), descriptors + 4);
    EXPECT_LE(EntriesIn("/proc/self/task"), threads + 2);
    EXPECT_EQ(rig.base.Count(Direction::CameraToBase, "charge_status"), static_cast<std::size_t>(kHandles + 20));
}

}  // namespace
}  // namespace tvo::velta_test
