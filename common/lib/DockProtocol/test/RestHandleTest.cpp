// The request handle's life: polled while out, done or not by how the
// request ended, and cancelled, with clients of an in-memory network.

#include "VeltaTestSupport.h"

#include <DockProtocol/RestHandle.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <cpprest/http_msg.h>
#include <pplx/pplxtasks.h>

#include <atomic>
#include <future>
#include <stdexcept>

namespace tvo::velta_test {
namespace {

using Task = RestHandle::ResponseTask;

const std::string kBase = "http://127.0.0.1:1/UsbRest/1.0";

std::unique_ptr<HttpClientIF> MemoryClient(const DockSim::InMemoryNetwork& network, const std::string& base = kBase) {
    HttpClientOptions options;
    options.baseUri = base;
    return network.MakeClient(options);
}

// A client that reaches nothing; the handles below get their tasks made up.
std::unique_ptr<HttpClientIF> AnyClient() {
    return MemoryClient(DockSim::InMemoryNetwork());
}

// Counts the cancels that reach the client.
class CountingClient : public HttpClientIF {
public:
    explicit CountingClient(std::shared_ptr<std::atomic<int>> cancels)
        : inner(AnyClient()), cancels(std::move(cancels)) {}
    pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                 const std::string& body) override {
        return inner->request(method, pathAndQuery, body);
    }
    bool download(const std::string& destinationPath) override { return inner->download(destinationPath); }
    void cancel() override {
        ++*cancels;
        inner->cancel();
    }
    void setMaxReplySize(std::size_t bytes) override { inner->setMaxReplySize(bytes); }

private:
    std::unique_ptr<HttpClientIF> inner;
    std::shared_ptr<std::atomic<int>> cancels;
};

web::http::http_response Answer(web::http::status_code status) {
    web::http::http_response response(status);
    return response;
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

    // 200 is done although nobody reads the body.
    DockSim::VeltaBase base{NeverApproving()};
    auto client =
        MemoryClient(*base.Setup().network, "http://127.0.0.1:" + std::to_string(base.Port()) + "/UsbRest/1.0");
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
        auto client = std::make_unique<CountingClient>(cancels);
        RestHandle handle(std::move(client),
                          std::make_unique<Task>(pplx::task_from_result(Answer(web::http::status_codes::NotFound))));
        EXPECT_FALSE(handle.IsDone());  // finished, and never done
        handle.Cancel();
        handle.Cancel();
        EXPECT_EQ(cancels->load(), 2);
    }
    EXPECT_EQ(cancels->load(), 3) << "a finished request is still cancelled once at destruction";
}

// A request the peer holds on to: cancelling it ends the handle's wait,
// however long the peer would still take.
TEST(RestHandle, CancelledWhileHeldEndsAsDone) {
    DockSim::InMemoryNetwork network;
    std::promise<void> arrived, release;
    auto released = release.get_future().share();
    const auto peer = network.Serve("127.0.0.1", 0, [&, released](const DockSim::RawRequest&) {
        arrived.set_value();
        released.wait();
        return DockSim::RawReply{};
    });
    // Before the peer goes, whatever happens: its thread must come back.
    struct Release {
        std::promise<void>& promise;
        ~Release() { promise.set_value(); }
    } releaseAtEnd{release};
    auto client = MemoryClient(network, "http://127.0.0.1:" + std::to_string(peer->Port()) + "/UsbRest/1.0");
    auto task = std::make_unique<Task>(client->request("PUT", "?type=charge_status", "{}"));
    RestHandle handle(std::move(client), std::move(task));
    ASSERT_EQ(arrived.get_future().wait_for(kThreadWait), std::future_status::ready);
    EXPECT_FALSE(handle.IsDone());

    ScopedLogCapture log;
    handle.Cancel();
    EXPECT_TRUE(PollUntilDone(handle));
    EXPECT_TRUE(log.Sink().Contains("cancelled"));
}

}  // namespace
}  // namespace tvo::velta_test
