// The in-memory network stands in for the real transport in the unit tests,
// so it must route, bound, time out and cancel as the real one does.

#include <DockSim/InMemoryNetwork.h>

#include <Common/DatagramSocket.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <cpprest/http_msg.h>

#include <atomic>
#include <cerrno>
#include <future>

namespace tvo::DockSim {
namespace {

using namespace std::chrono_literals;

HttpClientOptions To(const std::string& baseUri, std::chrono::milliseconds timeout = 2s) {
    HttpClientOptions options;
    options.baseUri = baseUri;
    options.timeout = timeout;
    return options;
}

struct Answer {
    unsigned status = 0;
    std::string body;
    std::string contentType;
};

Answer Get(HttpClientIF& client, const std::string& method, const std::string& path, const std::string& body = "") {
    auto response = client.request(method, path, body).get();
    return {response.status_code(), response.extract_utf8string(true).get(), response.headers().content_type()};
}

class CameraServerTest : public ::testing::Test {
protected:
    CameraServerTest() : server(network.MakeServer({"http://127.0.0.1", 8080, "api/"})) {
        server->setMessageHandler(
            [](const std::string& uri, const std::string& body) {
                return std::make_pair(HttpServerIF::OK, "{\"uri\":\"" + uri + "\",\"body\":\"" + body + "\"}");
            },
            HttpServerIF::HandlerMethodType::Put);
        server->setMessageHandler(
            [](const std::string&, const std::string&) -> std::pair<HttpServerIF::StatusCode, std::string> {
                throw std::runtime_error("handler broke");
            },
            HttpServerIF::HandlerMethodType::Get);
        server->setErrorBodyMaker([](HttpServerIF::StatusCode status, const std::string& reason) {
            return "[" + std::to_string(status) + " " + reason + "]";
        });
        server->listen();
    }

    InMemoryNetwork network;
    std::unique_ptr<HttpServerIF> server;
    std::unique_ptr<HttpClientIF> client = network.MakeClient(To("http://127.0.0.1:8080/api"));
};

TEST_F(CameraServerTest, RoutesAndRefusesAsTheRealServerDoes) {
    const auto put = Get(*client, "PUT", "/x/y?type=z", "b");
    EXPECT_EQ(put.status, 200u);
    EXPECT_EQ(put.body, "{\"uri\":\"x/y?type=z\",\"body\":\"b\"}");
    EXPECT_EQ(put.contentType, "application/json");
    EXPECT_EQ(Get(*client, "PUT", "?type=q").body, "{\"uri\":\"?type=q\",\"body\":\"\"}");

    const auto outside = network.MakeClient(To("http://127.0.0.1:8080/apix"));
    EXPECT_EQ(Get(*outside, "PUT", "").status, 404u);
    EXPECT_EQ(Get(*client, "POST", "/x").status, 405u);
    const auto broken = Get(*client, "GET", "/x");
    EXPECT_EQ(broken.status, 500u);
    EXPECT_EQ(broken.body, "[500 internal error]");

    server->setMaxBodySize(4);
    const auto large = Get(*client, "PUT", "/x", "12345");
    EXPECT_EQ(large.status, 413u);
    EXPECT_EQ(large.body, "[413 request body too large]");
}

TEST_F(CameraServerTest, OneServerPerAddressAndPortAndNoneAfterClose) {
    const auto second = network.MakeServer({"127.0.0.1", 8080, "other/"});
    EXPECT_THROW(second->listen(), std::runtime_error);
    EXPECT_NO_THROW(network.MakeServer({"127.0.0.2", 8080, "api/"})->listen());

    server->close();
    EXPECT_THROW(client->request("PUT", "/x", "").get(), web::http::http_exception);
    EXPECT_NO_THROW(second->listen());
}

TEST_F(CameraServerTest, AHandlerMayDestroyItsOwnServer) {
    std::promise<void> ran;
    server->setMessageHandler(
        [&](const std::string&, const std::string&) {
            server.reset();
            ran.set_value();
            return std::make_pair(HttpServerIF::OK, std::string("gone"));
        },
        HttpServerIF::HandlerMethodType::Post);
    auto reply = client->request("POST", "/x", "");
    ASSERT_EQ(ran.get_future().wait_for(10s), std::future_status::ready);
    // Its reply is dropped, as the real server drops it.
    EXPECT_THROW(reply.get(), web::http::http_exception);
}

class PeerTest : public ::testing::Test {
protected:
    void Serve(std::function<RawReply(const RawRequest&)> handler) {
        listener = network.Serve("127.0.0.1", 0, std::move(handler));
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(listener->Port()) + "/base"; }

    InMemoryNetwork network;
    std::unique_ptr<InMemoryNetwork::Listener> listener;
};

TEST_F(PeerTest, DelaysAndTimeOutsPassOnTheVirtualClockOnly) {
    RawReply reply;
    Serve([&](const RawRequest& request) {
        RawReply answer = reply;
        answer.body = request.method + " " + request.target;
        return answer;
    });
    const auto client = network.MakeClient(To(Base(), 2s));

    reply.delay = 500ms;
    EXPECT_EQ(Get(*client, "PUT", "?type=x").body, "PUT /base?type=x");
    EXPECT_EQ(network.Clock().Now(), 500ms);

    reply.delay = 5s;
    EXPECT_THROW(client->request("PUT", "", "").get(), web::http::http_exception);
    EXPECT_EQ(network.Clock().Now(), 2500ms);

    reply = RawReply{};
    reply.never = true;
    const auto unlimited = network.MakeClient(To(Base(), 0ms));
    EXPECT_THROW(unlimited->request("PUT", "", "").get(), web::http::http_exception);
    EXPECT_EQ(network.Clock().Now(), 2500ms + InMemoryNetwork::kDefaultClientLimit);

    reply = RawReply{};
    reply.hangUp = true;
    EXPECT_THROW(client->request("PUT", "", "").get(), web::http::http_exception);
}

// The time a handler spends counts against the client's limit, whether it
// sleeps on the virtual clock or blocks on something only the caller would
// end: the request times out at its limit on the virtual clock.
TEST_F(PeerTest, AHandlerThatTakesTooLongOrBlocksTimesTheRequestOut) {
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<int> mode{0};
    Serve([&, released](const RawRequest&) {
        RawReply reply;
        if (mode == 0) {
            network.Clock().Sleep(1500ms);
            reply.delay = 1000ms;  // together past the limit
        } else if (mode == 1) {
            released.wait();
        }
        return reply;
    });
    const auto client = network.MakeClient(To(Base(), 2s));
    EXPECT_THROW(client->request("PUT", "", "").get(), web::http::http_exception);
    EXPECT_EQ(network.Clock().Now(), 2s);

    mode = 1;
    try {
        client->request("PUT", "", "").get();
        ADD_FAILURE() << "a blocked handler answered";
    } catch (const web::http::http_exception& e) {
        EXPECT_NE(std::string(e.what()).find("timed out"), std::string::npos) << e.what();
    }
    EXPECT_EQ(network.Clock().Now(), 4s);
    release.set_value();

    mode = 2;  // the next request finds the server answering again
    EXPECT_EQ(Get(*client, "PUT", "").status, 200u);
}

TEST_F(PeerTest, RefusedWithoutAServerAndBoundedReplies) {
    const auto nobody = network.MakeClient(To("http://127.0.0.1:1/base"));
    EXPECT_THROW(nobody->request("GET", "", "").get(), web::http::http_exception);

    Serve([](const RawRequest&) {
        RawReply reply;
        reply.body = std::string(2048, 'x');
        return reply;
    });
    const auto client = network.MakeClient(To(Base()));
    client->setMaxReplySize(1024);
    // As from the real client: the reply comes, its body does not.
    const auto tooLarge = client->request("GET", "", "").get();
    EXPECT_EQ(tooLarge.status_code(), 200);
    EXPECT_THROW(tooLarge.extract_string().get(), std::runtime_error);
    client->setMaxReplySize(4096);
    EXPECT_EQ(Get(*client, "GET", "").body.size(), 2048u);
}

TEST_F(PeerTest, CancellationEndsARequestThePeerHolds) {
    std::promise<void> arrived;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<int> requests{0};
    Serve([&, released](const RawRequest&) {
        if (requests++ == 0) {  // only the first is held
            arrived.set_value();
            released.wait();
        }
        return RawReply{};
    });
    auto source = std::make_shared<pplx::cancellation_token_source>();
    HttpClientOptions options = To(Base());
    options.cancel = source;
    const auto client = network.MakeClient(options);
    auto held = client->request("GET", "", "");
    arrived.get_future().wait();
    source->cancel();
    EXPECT_THROW(held.get(), RequestCancelled);
    EXPECT_THROW(client->request("GET", "", "").get(), RequestCancelled);  // already cancelled
    release.set_value();

    const auto own = network.MakeClient(To(Base()));
    own->cancel();  // nothing under way: later requests run
    EXPECT_EQ(Get(*own, "GET", "").status, 200u);
}

TEST_F(PeerTest, DownloadReplacesTheFileOnlyWhenTheWholeBodyCame) {
    TempDir folder;
    const auto served = folder.file("served.log");
    WriteFile(served, "whole log\n");
    RawReply reply;
    reply.bodyFile = served.string();
    Serve([&](const RawRequest&) { return reply; });
    const auto client = network.MakeClient(To(Base()));
    const auto copy = folder.file("copy.log");

    ASSERT_TRUE(client->download(copy.string()));
    EXPECT_EQ(ReadFile(copy), "whole log\n");

    WriteFile(served, "second, longer log\n");
    reply.cutAfter = 6;
    EXPECT_FALSE(client->download(copy.string()));
    reply.cutAfter = std::string::npos;
    reply.status = 404;
    EXPECT_FALSE(client->download(copy.string()));
    EXPECT_EQ(ReadFile(copy), "whole log\n");
}

TEST(InMemoryDatagrams, ReachOpenSocketsOnlyCutAndBounded) {
    InMemoryNetwork network;
    EXPECT_FALSE(network.SendDatagram("usb", 9009, "lost", "::1"));
    const auto socket = network.OpenDatagramSocket("usb", 9009);
    EXPECT_EQ(socket->Receive(16).error, EAGAIN);

    EXPECT_TRUE(network.SendDatagram("usb", 9009, "0123456789", "fe80::1"));
    EXPECT_FALSE(network.SendDatagram("eth", 9009, "elsewhere", "fe80::1"));
    const auto cut = socket->Receive(4);
    EXPECT_EQ(cut.size, 4);
    EXPECT_EQ(cut.payload, "0123");
    EXPECT_EQ(cut.sender, "fe80::1");

    for (int i = 0; i < 100; ++i) {
        network.SendDatagram("usb", 9009, "flood", "fe80::2");
    }
    int kept = 0;
    while (socket->Receive(16).size > 0) {
        ++kept;
    }
    EXPECT_EQ(kept, 64);

    network.FailNextDatagramSocket("Failed to bind socket to device: No such device");
    EXPECT_THROW(network.OpenDatagramSocket("usb", 9010), DatagramSocketError);
    EXPECT_NO_THROW(network.OpenDatagramSocket("usb", 9010));
}

TEST(InMemoryNetworkAttach, TheEnvironmentSleepsAndReadsTheNetworksClock) {
    InMemoryNetwork network;
    ProtocolEnvironment environment;
    network.Attach(environment);
    const auto start = environment.system.now();
    environment.system.sleep(3s);
    EXPECT_EQ(environment.system.now() - start, 3s);
    EXPECT_EQ(network.Clock().Slept(), 3s);
}

}  // namespace
}  // namespace tvo::DockSim
