#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HttpRest/HttpClient.h"
#include "ClientTestSupport.h"
#include "RawServer.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using test::Loopback;
using test::Outcome;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;
using namespace std::chrono_literals;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

void WaitForConnection(const test::RawServer& server) {
    while (server.Accepted() == 0) {
        std::this_thread::sleep_for(5ms);
    }
}

TEST(HttpClientRequest, SendsTheBodyAsGivenAsJsonAndTheQueryUnchanged) {
    test::RawServer server(kOk);
    HttpClient client(nullptr, Loopback(server.Port()) + "/UsbRest/1.0", 0ms, nullptr);
    const std::string body = R"({"b":1,  "a":"x y"})";
    EXPECT_EQ(Outcome(client.request("PUT", "?type=say_hello", body)), "status 200");
    const std::string sent = server.LastRequest();
    EXPECT_THAT(sent, HasSubstr("PUT /UsbRest/1.0?type=say_hello HTTP/1.1\r\n"));
    EXPECT_THAT(sent, ::testing::ContainsRegex("Content-Type: ?application/json\r\n"));
    EXPECT_THAT(sent, ::testing::EndsWith("\r\n\r\n" + body));

    EXPECT_EQ(Outcome(client.request("GET", "", "")), "status 200");
    EXPECT_THAT(server.LastRequest(), Not(HasSubstr("Content-Type")));
}

TEST(HttpClientRequest, FailuresEndTheTaskWithAnException) {
    HttpClient refused(nullptr, Loopback(FreeTcpPort()), 2s, nullptr);
    EXPECT_THAT(Outcome(refused.request("GET", "/x", "")), HasSubstr("threw"));

    // A time-out must not read like a cancellation, in type or in text:
    // callers stop retrying on that.
    test::RawServer silent("");
    HttpClient impatient(nullptr, Loopback(silent.Port()), 300ms, nullptr);
    EXPECT_THAT(Outcome(impatient.request("PUT", "/x", "{}")),
                ::testing::AllOf(StartsWith("threw: "), Not(HasSubstr("cancel"))));

    for (const char* address : {"", "not a uri", "http://127.0.0.1:"}) {
        HttpClient broken(nullptr, address, 1s, nullptr);
        EXPECT_THAT(Outcome(broken.request("GET", "/x", "")), HasSubstr("threw")) << address;
    }
}

// What cannot be written as a request fails before any connection, saying why.
TEST(HttpClientRequest, RequestsThatCannotBeWrittenFailSayingWhy) {
    for (const auto& [address, why] :
         std::vector<std::pair<std::string, std::string>>{{"https://127.0.0.1", "scheme 'https' is not served"},
                                                          {"/relative", "no scheme"},
                                                          {"http:///path", "no host"},
                                                          {"http://127.0.0.1:70000", "outside 1..65535"}}) {
        HttpClient broken(nullptr, address, 1s, nullptr);
        EXPECT_THAT(Outcome(broken.request("GET", "/x", "")), HasSubstr(why)) << address;
    }
    HttpClient v6(nullptr, "http://[::1]:9", 1s, nullptr);
    EXPECT_THAT(Outcome(v6.request("GE T", "/x", "")), HasSubstr("'GE T' is not a method"));
    EXPECT_THAT(Outcome(v6.request("", "/x", "")), HasSubstr("'' is not a method"));
    EXPECT_THAT(Outcome(v6.request("GET", "x\r\nHost: elsewhere", "")), HasSubstr("not sent"));
    HttpClientOptions options;
    options.baseUri = "http://127.0.0.1:9";
    options.userAgent = "camera\r\nX-Injected: 1";
    EXPECT_THAT(Outcome(HttpClient(options).request("GET", "/x", "")), HasSubstr("user agent holds a line break"));
}

TEST(HttpClientRequest, AFailedRequestNobodyLooksAtDoesNotEndTheProcess) {
    HttpClient refused(nullptr, Loopback(FreeTcpPort()), 2s, nullptr);
    HttpClient broken(nullptr, "not a uri", 2s, nullptr);
    for (HttpClient* client : {&refused, &broken}) {
        auto dropped = client->request("GET", "/x", "");
        while (!dropped.is_done()) {
            std::this_thread::sleep_for(5ms);
        }
    }  // pplx aborts here if the failure of a dropped task is never observed
}

TEST(HttpClientRequest, CancelStopsTheWaitingRequestAndLeavesTheClientUsable) {
    test::RawServer silent("");
    HttpClient client(nullptr, Loopback(silent.Port()), 0ms, nullptr);
    auto pending = client.request("PUT", "/x", "{}");
    WaitForConnection(silent);
    client.cancel();
    EXPECT_THAT(Outcome(pending), MatchesRegex("cancelled: .*cancel.*"));

    test::RawServer answering(kOk);
    HttpClient again(nullptr, Loopback(answering.Port()), 0ms, nullptr);
    again.cancel();
    EXPECT_EQ(Outcome(again.request("GET", "/", "")), "status 200");
}

TEST(HttpClientRequest, TheCallersCancellationSourceStopsThisAndLaterRequests) {
    test::RawServer silent("");
    auto source = std::make_shared<pplx::cancellation_token_source>();
    HttpClient client("", false, "", nullptr, Loopback(silent.Port()), 0ms, source, false);
    auto pending = client.request("POST", "/emapi/open", R"({"did":"1"})");
    WaitForConnection(silent);
    source->cancel();
    EXPECT_THAT(Outcome(pending), MatchesRegex("cancelled: .*cancel.*"));
    EXPECT_THAT(Outcome(client.request("POST", "/emapi/open", "{}")), MatchesRegex("cancelled: .*cancel.*"));

    // A client made with a source cancelled already sends nothing.
    HttpClient late("", false, "", nullptr, Loopback(silent.Port()), 0ms, source, false);
    const int accepted = silent.Accepted();
    EXPECT_THAT(Outcome(late.request("GET", "/x", "")), MatchesRegex("cancelled: .*cancel.*"));
    EXPECT_EQ(silent.Accepted(), accepted);
}

TEST(HttpClientBinding, ConnectionsAreBoundToTheNamedInterfaceOrFailSayingWhy) {
    test::RawServer server(kOk);
    // An empty interface name binds nothing; "lo" binds to loopback.
    for (const std::string interfaceName : {"", "lo"}) {
        HttpClient client(interfaceName, true, "docktest/1", nullptr, Loopback(server.Port()), 2s, nullptr, false);
        EXPECT_EQ(Outcome(client.request("GET", "/", "")), "status 200") << "interface '" << interfaceName << "'";
        EXPECT_THAT(server.LastRequest(), HasSubstr("docktest/1"));
    }
    HttpClient missing("nosuchif0", true, "", nullptr, Loopback(server.Port()), 2s, nullptr, false);
    EXPECT_THAT(Outcome(missing.request("GET", "/", "")), HasSubstr("nosuchif0"));
    EXPECT_EQ(server.Accepted(), 2);
}

}  // namespace
}  // namespace tvo
