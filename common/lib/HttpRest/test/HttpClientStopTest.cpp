// How a request stops: cancelled from another thread or timed out in each of
// its phases (connecting, waiting for the headers, reading the body), and
// what a long run of requests leaves behind.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "HttpRest/HttpClient.h"
#include "HttpRest/HttpServer.h"
#include "ClientTestSupport.h"
#include "RawClient.h"
#include "RawServer.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using namespace std::chrono_literals;
using test::BodyOutcome;
using test::Loopback;
using test::Outcome;
using test::Within;

// A port whose connections hang in connecting: its listener's queue is full
// and it never accepts, so the kernel drops every further handshake.
class StalledListener {
public:
    StalledListener() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen");
        }
        port = ntohs(address.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            (void)::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
            fillers.push_back(filler);
        }
        std::this_thread::sleep_for(50ms);  // the handshakes that fit are done
    }
    ~StalledListener() {
        for (int fd : fillers) {
            ::close(fd);
        }
        ::close(listener);
    }
    int Port() const { return port; }

private:
    int listener = -1;
    int port = 0;
    std::vector<int> fillers;
};

// Waits (at most 10 s) for the client to close its end; true when it did.
bool ClientHangsUp(int fd) {
    char buffer[256];
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return true;
        }
    }
    return false;
}

const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n\r\n";

// The server's side of a request the client is to give up on: waits for the
// hang-up after sending what it is given.
struct HeldRequest {
    explicit HeldRequest(std::string sent = std::string())
        : server([this, sent = std::move(sent)](int fd, const std::string&) {
              test::SendAll(fd, sent);
              arrived = true;
              hungUp = ClientHangsUp(fd);
              return false;
          }) {}
    std::atomic<bool> arrived{false};
    std::atomic<bool> hungUp{false};
    test::RawServer server;
};

TEST(HttpClientStop, ACancelFromAnotherThreadEndsEveryPhaseAtOnce) {
    {
        StalledListener stalled;
        HttpClient client(nullptr, Loopback(stalled.Port()), 0ms, nullptr);
        auto connecting = client.request("PUT", "/x", "{}");
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(connecting.is_done());
        std::thread([&] { client.cancel(); }).join();
        EXPECT_TRUE(Within(5s, [&] { return connecting.is_done(); }));
        EXPECT_THAT(Outcome(connecting), StartsWith("cancelled: "));
    }
    {
        HeldRequest held;
        HttpClient client(nullptr, Loopback(held.server.Port()), 0ms, nullptr);
        auto waiting = client.request("PUT", "/x", "{}");
        ASSERT_TRUE(Within(5s, [&] { return held.arrived.load(); }));
        std::thread([&] { client.cancel(); }).join();
        EXPECT_TRUE(Within(5s, [&] { return waiting.is_done(); }));
        EXPECT_THAT(Outcome(waiting), AllOf(StartsWith("cancelled: "), HasSubstr("cancel")));
        EXPECT_TRUE(Within(5s, [&] { return held.hungUp.load(); })) << "the socket stays open";
    }
    {
        HeldRequest held(kHead + "first");
        auto source = std::make_shared<pplx::cancellation_token_source>();
        HttpClient client("", false, "", nullptr, Loopback(held.server.Port()), 0ms, source, false);
        const auto response = client.request("PUT", "/x", "{}").get();
        ASSERT_EQ(response.status_code(), 200);
        std::thread([&] { source->cancel(); }).join();
        EXPECT_THAT(BodyOutcome(response), StartsWith("cancelled: "));
        EXPECT_TRUE(Within(5s, [&] { return held.hungUp.load(); })) << "the socket stays open";
    }
}

TEST(HttpClientStop, EachPhaseIsTimedOutAndNotCalledACancellation) {
    const auto timedOut = AllOf(StartsWith("threw: "), HasSubstr("300 ms"), Not(HasSubstr("cancel")));
    {
        StalledListener stalled;
        HttpClient client(nullptr, Loopback(stalled.Port()), 300ms, nullptr);
        EXPECT_THAT(Outcome(client.request("PUT", "/x", "{}")), timedOut);
    }
    {
        HeldRequest held;
        HttpClient client(nullptr, Loopback(held.server.Port()), 300ms, nullptr);
        EXPECT_THAT(Outcome(client.request("PUT", "/x", "{}")), timedOut);
        EXPECT_TRUE(Within(5s, [&] { return held.hungUp.load(); }));
    }
    {
        HeldRequest held(kHead + "first");
        HttpClient client(nullptr, Loopback(held.server.Port()), 300ms, nullptr);
        const auto response = client.request("PUT", "/x", "{}").get();
        EXPECT_THAT(BodyOutcome(response), AllOf(timedOut, HasSubstr("stalled")));
    }
}

TEST(HttpClientStop, ABodyThatKeepsComingIsNotCutByTheLimit) {
    test::RawServer slow([](int fd, const std::string&) {
        test::SendAll(fd, kHead);
        for (char c : std::string("0123456789")) {
            std::this_thread::sleep_for(100ms);
            test::SendAll(fd, std::string(1, c));
        }
        return false;
    });
    HttpClient client(nullptr, Loopback(slow.Port()), 300ms, nullptr);
    EXPECT_EQ(BodyOutcome(client.request("GET", "/", "").get()), "body 0123456789");
}

TEST(HttpClientStop, AThousandRequestsLeaveNoDescriptorOrThread) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr int kRequests = 200;  // the same check, at a sanitizer's pace
#else
    constexpr int kRequests = 1000;
#endif
    const int port = FreeTcpPort();
    HttpServer server(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "");
    server.setMessageHandler(
        [](const std::string&, const std::string& body) { return std::make_pair(HttpServer::OK, body); },
        HttpServer::HandlerMethodType::Put);
    server.listen();
    auto roundTrip = [&](HttpClient& client) {
        const auto response = client.request("PUT", "/echo", "{\"n\":1}").get();
        return response.status_code() == 200 && response.extract_string().get() == "{\"n\":1}";
    };
    {
        HttpClient warmUp(nullptr, Loopback(port), 0ms, nullptr);
        ASSERT_TRUE(roundTrip(warmUp));
    }
    const std::size_t descriptors = test::OpenDescriptors();
    const std::size_t threads = test::Threads();
    int answered = 0;
    HttpClient kept(nullptr, Loopback(port), 0ms, nullptr);  // one connection, kept alive
    for (int i = 0; i < kRequests; ++i) {
        HttpClient fresh(nullptr, Loopback(port), 0ms, nullptr);  // as the Velta reports make them
        answered += roundTrip(fresh) ? 1 : 0;
        answered += roundTrip(kept) ? 1 : 0;
    }
    EXPECT_EQ(answered, 2 * kRequests);
    // The kept connection's two ends, and nothing else once the server has
    // seen the others go.
    EXPECT_TRUE(Within(5s, [&] { return test::OpenDescriptors() <= descriptors + 2; }))
        << test::OpenDescriptors() << " descriptors open, " << descriptors << " before";
    EXPECT_EQ(test::Threads(), threads);
}

}  // namespace
}  // namespace tvo
