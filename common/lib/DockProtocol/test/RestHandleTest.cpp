// The request handle's life: polled while out, done or not by how the
// request ended, cancelled, and destroyed while the request is still out.

#include "VeltaTestSupport.h"

#include <DockProtocol/RestHandle.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <cpprest/http_msg.h>
#include <pplx/pplxtasks.h>

#include <dirent.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace tvo::velta_test {
namespace {

using Task = RestHandle::ResponseTask;

// Counts the cancels that reach the client.
class CountingClient : public HttpClient {
public:
    CountingClient(const std::string& base, std::shared_ptr<std::atomic<int>> cancels)
        : HttpClient(nullptr, base, std::chrono::milliseconds(3000), nullptr), cancels(std::move(cancels)) {}
    void cancel() override {
        ++*cancels;
        HttpClient::cancel();
    }

private:
    std::shared_ptr<std::atomic<int>> cancels;
};

std::unique_ptr<HttpClient> AnyClient() {
    return std::make_unique<HttpClient>(nullptr, "http://127.0.0.1:1/UsbRest/1.0", std::chrono::milliseconds(100),
                                        nullptr);
}

web::http::http_response Answer(web::http::status_code status) {
    web::http::http_response response(status);
    return response;
}

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

TEST(RestHandle, RefusesAMissingClientBeforeAMissingTask) {
    try {
        RestHandle handle(nullptr, nullptr);
        FAIL() << "built without client";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid HTTP Client");
    }
    try {
        RestHandle handle(AnyClient(), nullptr);
        FAIL() << "built without task";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid HTTP Response");
    }
}

TEST(RestHandle, DoneOnlyFor200AndRuntimeErrors) {
    ScopedLogCapture log;
    pplx::task_completion_event<web::http::http_response> pending;
    RestHandle running(AnyClient(), std::make_unique<Task>(pplx::create_task(pending)));
    EXPECT_FALSE(running.IsDone());
    EXPECT_TRUE(log.Sink().Contains("Waiting for http_response to be done"));

    pplx::task_completion_event<web::http::http_response> failing;
    RestHandle refused(AnyClient(), std::make_unique<Task>(pplx::create_task(failing)));
    failing.set(Answer(web::http::status_codes::InternalError));
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_FALSE(refused.IsDone()) << "a 500 answer never counts as done";
    }

    pending.set(Answer(web::http::status_codes::NotFound));
    EXPECT_FALSE(running.IsDone());

    // 200 is done although nobody reads the body. A real answer: a made-up
    // response's body never completes.
    DockSim::VeltaBase base{NeverApproving()};
    auto client =
        std::make_unique<HttpClient>(nullptr, "http://127.0.0.1:" + std::to_string(base.Port()) + "/UsbRest/1.0",
                                     std::chrono::milliseconds(0), nullptr);
    auto request = std::make_unique<Task>(client->request("PUT", "?type=charge_status", "{}"));
    ASSERT_EQ(request->wait(), pplx::task_status::completed);
    RestHandle answered(std::move(client), std::move(request));
    EXPECT_TRUE(answered.IsDone());
    EXPECT_TRUE(answered.IsDone());

    RestHandle broken(AnyClient(), std::make_unique<Task>(pplx::task_from_exception<web::http::http_response>(
                                       std::runtime_error("connection reset by base"))));
    EXPECT_TRUE(broken.IsDone());
    EXPECT_TRUE(log.Sink().Contains("Error getting response: connection reset by base"));
}

TEST(RestHandle, OtherErrorsReachTheCaller) {
    pplx::cancellation_token_source source;
    source.cancel();
    auto cancelled = pplx::create_task([] { return Answer(web::http::status_codes::OK); }, source.get_token());
    ASSERT_EQ(cancelled.wait(), pplx::task_status::canceled);
    RestHandle viaToken(AnyClient(), std::make_unique<Task>(cancelled));
    EXPECT_THROW(viaToken.IsDone(), pplx::task_canceled);

    RestHandle defaulted(AnyClient(), std::make_unique<Task>());
    EXPECT_THROW(defaulted.IsDone(), pplx::invalid_operation);

    RestHandle logicError(AnyClient(), std::make_unique<Task>(pplx::task_from_exception<web::http::http_response>(
                                           std::logic_error("not a runtime error"))));
    EXPECT_THROW(logicError.IsDone(), std::logic_error);
}

TEST(RestHandle, EveryCancelAndTheDestructorReachTheClient) {
    auto cancels = std::make_shared<std::atomic<int>>(0);
    {
        auto client = std::make_unique<CountingClient>("http://127.0.0.1:1/UsbRest/1.0", cancels);
        RestHandle handle(std::move(client),
                          std::make_unique<Task>(pplx::task_from_result(Answer(web::http::status_codes::NotFound))));
        EXPECT_FALSE(handle.IsDone());  // finished, and never done
        handle.Cancel();
        handle.Cancel();
        EXPECT_EQ(cancels->load(), 2);
    }
    EXPECT_EQ(cancels->load(), 3) << "a finished request is still cancelled once at destruction";
}

// Against the emulated base: a request the base never answers.
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

    DockSim::VeltaBase base{NeverApproving()};
};

TEST_F(RestHandleOnLoopback, CancelledWhileOutEndsAsDone) {
    ScopedLogCapture log;
    auto handle = Start();
    ASSERT_TRUE(base.WaitFor(Direction::CameraToBase, "charge_status", 1, std::chrono::seconds(10)));
    EXPECT_FALSE(handle->IsDone());
    handle->Cancel();
    bool done = false;
    for (int poll = 0; poll < 1000 && !done; ++poll) {
        done = handle->IsDone();
        if (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_TRUE(done);
    EXPECT_TRUE(log.Sink().Contains("cancel"));
}

TEST_F(RestHandleOnLoopback, DestroyedWhileOutFreesTheBaseForTheNextRequest) {
    for (std::size_t round = 1; round <= 3; ++round) {
        auto handle = Start();
        ASSERT_TRUE(base.WaitFor(Direction::CameraToBase, "charge_status", round, std::chrono::seconds(10)));
        handle.reset();  // cancels; the base sees the camera hang up
    }
    base.SetReply("charge_status", DockSim::ReplyScript{});
    auto answered = Start();
    bool done = false;
    for (int poll = 0; poll < 2000 && !done; ++poll) {
        done = answered->IsDone();
        if (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_TRUE(done);
}

TEST(RestHandleHost, AThousandHandlesPolledInTurnLeakNoDescriptorOrThread) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr int kHandles = 200;  // the same check, at a sanitizer's pace
#else
    constexpr int kHandles = 1000;
#endif
    VeltaRig rig;
    auto pollToEnd = [&](DockProtoIF::ChargeStatus status) {
        auto started = rig.camera.SetChargeStatusAsync(status);
        ASSERT_EQ(started.code, RC::InProgress);
        ASSERT_TRUE(started.handle);
        for (int poll = 0; poll < 4000 && !started.handle->IsDone(); ++poll) {
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        ASSERT_TRUE(started.handle->IsDone());
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
