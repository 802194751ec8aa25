// The server against a dock that does not play fair: oversized, slow,
// stalled, flooding and pipelining peers on loopback.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "HttpRest/HttpClient.h"
#include "HttpRest/HttpServer.h"
#include "RawClient.h"
#include "RawServer.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Method = HttpServer::HandlerMethodType;
using Reply = std::pair<HttpServer::StatusCode, std::string>;
using std::chrono::milliseconds;
using test::RawClient;

constexpr milliseconds kShort{200};
// Long enough for anything the server should do at once, on a loaded machine.
constexpr milliseconds kPatience{5000};

// Resident memory and descriptors, printed for the record, once the
// server's idle time-out has closed what the case left open.
struct Usage {
    std::size_t residentKiB = test::ResidentKiB();
    std::size_t descriptors = test::OpenDescriptors();
};

void Report(const char* what, const Usage& before, const Usage& after) {
    std::cout << what << ": resident " << before.residentKiB << " -> " << after.residentKiB << " KiB, descriptors "
              << before.descriptors << " -> " << after.descriptors << "\n";
}

// A server on a free loopback port under "api/" with short time-outs, whose
// PUT and GET handlers answer "uri|body".
class HostileTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        limits.headerTimeout = kShort;
        limits.bodyTimeout = kShort;
        limits.idleTimeout = kShort;
        server->setLimits(limits);
        server->setMaxBodySize(1024);
        for (const auto method : {Method::Put, Method::Get}) {
            server->setMessageHandler(
                [](const std::string& uri, const std::string& body) -> Reply {
                    return {HttpServer::OK, uri + "|" + body};
                },
                method);
        }
        server->listen();
    }
    std::string Put(const std::string& target, const std::string& body, const std::string& extra = "") {
        return "PUT " + target + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
               extra + "\r\n" + body;
    }
    // Usage once cpprestsdk has opened its own descriptors (on first use)
    // and the connection of that use has idled out.
    Usage Settled() {
        EXPECT_EQ(GoodRequestStatus(), 200);
        std::this_thread::sleep_for(kShort * 3);
        return Usage();
    }
    // A well-behaved request through the product's own client.
    int GoodRequestStatus() {
        HttpClient client(nullptr, "http://127.0.0.1:" + std::to_string(port), std::chrono::seconds(5), nullptr);
        return client.request("PUT", "/api/x", "{}").get().status_code();
    }

    int port = FreeTcpPort();
    HttpServer::Limits limits;
    std::unique_ptr<HttpServer> server =
        std::make_unique<HttpServer>(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "api/");
};

TEST_F(HostileTransportTest, OversizedBodiesAreRefusedWithoutBeingKept) {
    const Usage before = Settled();
    {
        // Declared: refused on the header alone, before a byte of the body.
        RawClient declared(port);
        ASSERT_TRUE(declared.Send("PUT /api/x HTTP/1.1\r\nHost: x\r\nContent-Length: 52428800\r\n\r\n"));
        EXPECT_THAT(declared.Receive(kPatience), StartsWith("HTTP/1.1 413"));
    }
    {
        // Chunked: cut off once past the limit, while the peer keeps sending.
        RawClient chunked(port);
        ASSERT_TRUE(
            chunked.Send("PUT /api/x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "4000000\r\n"));      // one 64 MiB chunk
        chunked.SendFiller(64 * 1024 * 1024);  // the server reads on, but only to drop it
        EXPECT_THAT(chunked.Receive(kPatience), StartsWith("HTTP/1.1 413"));
    }
    EXPECT_EQ(GoodRequestStatus(), 200);
    std::this_thread::sleep_for(kShort * 3);
    const Usage after;
    // Generous: allocator and thread noise, never the body.
    EXPECT_LT(after.residentKiB, before.residentKiB + 8 * 1024 * test::kMemorySlackFactor);
    EXPECT_EQ(after.descriptors, before.descriptors);
    Report("oversized declared and chunked bodies", before, after);
}

TEST_F(HostileTransportTest, SlowBodiesAndStalledHeadersAreClosedAfterTheirTimeOut) {
    const Usage before = Settled();
    {
        RawClient slowBody(port);
        ASSERT_TRUE(slowBody.Send(Put("/api/x", std::string(100, 'a')).substr(0, 80)));
        RawClient stalledHeader(port);
        ASSERT_TRUE(stalledHeader.Send("PUT /api/x HTTP/1.1\r\nHost: x\r\n"));
        RawClient silent(port);
        EXPECT_TRUE(slowBody.ClosedWithin(kPatience));
        EXPECT_TRUE(stalledHeader.ClosedWithin(kPatience));
        EXPECT_TRUE(silent.ClosedWithin(kPatience));
    }
    EXPECT_EQ(GoodRequestStatus(), 200);
    std::this_thread::sleep_for(kShort * 3);
    const Usage after;
    EXPECT_EQ(after.descriptors, before.descriptors);
    Report("slow body, stalled headers, silent peer", before, after);
}

TEST_F(HostileTransportTest, StalledConnectionsDoNotHoldUpAGoodRequest) {
    limits.headerTimeout = milliseconds(30000);
    server->setLimits(limits);
    server->close();
    server->listen();
    const Usage before;
    std::vector<std::unique_ptr<RawClient>> stalled;
    for (int i = 0; i < 48; ++i) {
        stalled.push_back(std::make_unique<RawClient>(port));
        ASSERT_TRUE(stalled.back()->Send("PUT /api/x HTTP/1.1\r\n"));
    }
    EXPECT_EQ(GoodRequestStatus(), 200);
    Report("48 stalled connections and a good request", before, Usage());
}

TEST_F(HostileTransportTest, ConnectionsPastTheLimitAreClosedAtAcceptAndTheRestByTheHeaderTimeOut) {
    limits.headerTimeout = milliseconds(3000);
    server->setLimits(limits);
    server->close();
    server->listen();
    const Usage before = Settled();
    std::vector<std::unique_ptr<RawClient>> flood;
    for (int i = 0; i < 100; ++i) {
        flood.push_back(std::make_unique<RawClient>(port));
    }
    const Usage during;
    int closedEarly = 0;
    for (auto& connection : flood) {
        closedEarly += connection->ClosedWithin(milliseconds(20)) ? 1 : 0;
    }
    EXPECT_EQ(closedEarly, 100 - 64);
    int closedLater = 0;
    for (auto& connection : flood) {
        closedLater += connection->ClosedWithin(milliseconds(10000)) ? 1 : 0;
    }
    EXPECT_EQ(closedLater, 100);
    flood.clear();
    EXPECT_EQ(GoodRequestStatus(), 200);
    std::this_thread::sleep_for(kShort * 3);
    const Usage after;
    EXPECT_EQ(after.descriptors, before.descriptors);
    Report("100 stalled connections, before -> during", before, during);
    Report("100 stalled connections, before -> after", before, after);
}

TEST_F(HostileTransportTest, ABlockedHandlerDelaysNeitherClientTimeOutsNorOtherServers) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> entered;
    server->setMessageHandler(
        [&](const std::string&, const std::string&) -> Reply {
            entered.set_value();
            released.wait();
            return {HttpServer::OK, "late"};
        },
        Method::Put);
    HttpClient blockedClient(nullptr, "http://127.0.0.1:" + std::to_string(port), std::chrono::seconds(30), nullptr);
    auto blocked = blockedClient.request("PUT", "/api/x", "{}");
    entered.get_future().wait();

    const int otherPort = FreeTcpPort();
    HttpServer other(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", otherPort, "api/");
    other.setMessageHandler(
        [](const std::string&, const std::string&) -> Reply {
            return {HttpServer::OK, "ok"};
        },
        Method::Get);
    other.listen();
    HttpClient otherClient(nullptr, "http://127.0.0.1:" + std::to_string(otherPort), std::chrono::seconds(5), nullptr);
    EXPECT_EQ(otherClient.request("GET", "/api/x", "").get().status_code(), 200);

    test::RawServer silentDock("");  // accepts, never answers
    HttpClient impatient(nullptr, "http://127.0.0.1:" + std::to_string(silentDock.Port()), milliseconds(1000), nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_ANY_THROW(impatient.request("PUT", "/x", "{}").get());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(900));
    EXPECT_LT(took, milliseconds(4000)) << "the client's time-out waited for the handler";

    release.set_value();
    EXPECT_EQ(blocked.get().extract_utf8string(true).get(), "late");
}

TEST_F(HostileTransportTest, AHandlerMayDestroyItsOwnServer) {
    std::promise<void> returned;
    server->setMessageHandler(
        [&](const std::string&, const std::string&) -> Reply {
            server.reset();  // as a host tearing docking down from a call-back
            returned.set_value();
            return {HttpServer::OK, ""};
        },
        Method::Put);
    RawClient peer(port);
    ASSERT_TRUE(peer.Send(Put("/api/x", "{}")));
    ASSERT_EQ(returned.get_future().wait_for(kPatience), std::future_status::ready);
    EXPECT_TRUE(peer.ClosedWithin(kPatience));
    // The port is free again for the next server.
    HttpServer next(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "api/");
    EXPECT_NO_THROW(next.listen());
}

// The handler has closed its server; the destructor on the test's thread must
// still wait for the handler to return.
TEST_F(HostileTransportTest, ADestructorElsewhereWaitsForAHandlerThatClosedItsServer) {
    std::promise<void> closed;
    std::atomic<bool> finished{false};
    server->setMessageHandler(
        [&](const std::string&, const std::string&) -> Reply {
            server->close();
            closed.set_value();
            std::this_thread::sleep_for(kShort);
            finished = true;
            return {HttpServer::OK, ""};
        },
        Method::Put);
    RawClient peer(port);
    ASSERT_TRUE(peer.Send(Put("/api/x", "{}")));
    ASSERT_EQ(closed.get_future().wait_for(kPatience), std::future_status::ready);
    server.reset();
    EXPECT_TRUE(finished);
}

TEST_F(HostileTransportTest, TransportErrorsAreAnsweredWithTheServersErrorBody) {
    server->setErrorBodyMaker([](HttpServer::StatusCode status, const std::string& reason) {
        return "{\"status\":" + std::to_string(status) + ",\"reason\":\"" + reason + "\"}";
    });
    const std::pair<std::string, std::string> cases[] = {
        {"PUT /api/x HTTP/1.1\r\nHost: x\r\nX-Flood: " + std::string(20 * 1024, 'f') + "\r\n\r\n", "431"},
        {"PUT /api/x HTTP/1.1\r\nContent-Length: 2000\r\n\r\n", "413"},
        {"POST /api/x HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "405"},
        {"GET /elsewhere HTTP/1.1\r\n\r\n", "404"},
        {"PUT /api/x HTTP/1.1\r\nContent-Length: zz\r\n\r\n", "400"},
        {"PUT /api/x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", "400"},
    };
    for (const auto& [request, status] : cases) {
        RawClient peer(port);
        peer.Send(request);
        const std::string reply = peer.ReceiveReplies(1, kPatience);
        EXPECT_THAT(reply, StartsWith("HTTP/1.1 " + status)) << request.substr(0, 40);
        EXPECT_THAT(reply, HasSubstr("application/json"));
        EXPECT_THAT(reply, HasSubstr("{\"status\":" + status + ",\"reason\":"));
    }
}

TEST_F(HostileTransportTest, PipelinedRequestsAreAnsweredInOrder) {
    RawClient peer(port);
    ASSERT_TRUE(peer.Send(Put("/api/one", "1") + Put("/api/two", "22") + "GET /api/three HTTP/1.1\r\n\r\n"));
    const std::string replies = peer.ReceiveReplies(3, kPatience);
    const auto one = replies.find("one|1");
    const auto two = replies.find("two|22");
    const auto three = replies.find("three|");
    ASSERT_NE(three, std::string::npos) << replies;
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
}

TEST_F(HostileTransportTest, ServesHttp10AndAnswersExpectContinue) {
    {
        RawClient old(port);
        ASSERT_TRUE(old.Send("PUT /api/x HTTP/1.0\r\nContent-Length: 2\r\n\r\nhi"));
        const std::string reply = old.Receive(kPatience);  // ends when the server closes
        EXPECT_THAT(reply, StartsWith("HTTP/1.0 200"));
        EXPECT_THAT(reply, HasSubstr("x|hi"));
    }
    {
        RawClient kept(port);
        ASSERT_TRUE(kept.Send("GET /api/a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"));
        EXPECT_THAT(kept.ReceiveReplies(1, kPatience), HasSubstr("a|"));
        ASSERT_TRUE(kept.Send("GET /api/b HTTP/1.0\r\n\r\n"));
        EXPECT_THAT(kept.Receive(kPatience), HasSubstr("b|"));
    }
    {
        const std::string body(1000, 'b');
        RawClient curlLike(port);
        ASSERT_TRUE(curlLike.Send("PUT /api/x HTTP/1.1\r\nContent-Length: 1000\r\nExpect: 100-continue\r\n\r\n"));
        EXPECT_THAT(curlLike.ReceiveReplies(1, kPatience), StartsWith("HTTP/1.1 100 Continue\r\n\r\n"));
        ASSERT_TRUE(curlLike.Send(body));
        EXPECT_THAT(curlLike.ReceiveReplies(1, kPatience), HasSubstr("x|" + body));
    }
}

TEST_F(HostileTransportTest, HandlersGetTheTargetWithItsPercentEncodingKept) {
    RawClient peer(port);
    ASSERT_TRUE(
        peer.Send("GET /api/say%5Fhello%3Fapi-version=9 HTTP/1.1\r\n\r\n"
                  "GET /api/a%2Fb?x=%3F HTTP/1.1\r\n\r\n"
                  "GET /api%2Fx HTTP/1.1\r\n\r\n"));
    const std::string replies = peer.ReceiveReplies(3, kPatience);
    EXPECT_THAT(replies, HasSubstr("\r\n\r\nsay%5Fhello%3Fapi-version=9|"));
    EXPECT_THAT(replies, HasSubstr("\r\n\r\na%2Fb?x=%3F|"));
    EXPECT_THAT(replies, HasSubstr("HTTP/1.1 404"));  // "/api%2Fx" is not under "/api/"
    EXPECT_EQ(HttpServer::getUriQuery("say%5Fhello%3Fapi-version=9"), "");
}

}  // namespace
}  // namespace tvo
