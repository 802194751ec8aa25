#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <utility>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <set>
#include <vector>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <future>
#include <iostream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "HttpRest/HttpClient.h"
#include "HttpRest/HttpServer.h"
#include "HttpRest/HttpThreadPool.h"
#include "RawServer.h"
#include "Logger/LogClient.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using ::testing::HasSubstr;
using Method = HttpServer::HandlerMethodType;
using Reply = std::pair<HttpServer::StatusCode, std::string>;

// A server on a free loopback port under "api/", and a client for it.
class HttpServerTest : public ::testing::Test {
protected:
    std::pair<int, std::string> Send(const std::string& method, const std::string& pathAndQuery,
                                     const std::string& body = "") {
        web::http::http_response response = client.request(method, pathAndQuery, body).get();
        return {response.status_code(), response.extract_utf8string(true).get()};
    }
    std::string ListenError(HttpServer& other) {
        try {
            other.listen();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "listening";
    }

    int port = FreeTcpPort();
    HttpServer server{nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "api/"};
    HttpClient client{nullptr, "http://127.0.0.1:" + std::to_string(port), std::chrono::seconds(10), nullptr};
};

TEST_F(HttpServerTest, RoutesEachMethodToItsOwnHandlerAndRefusesTheOthers) {
    server.setMessageHandler(
        [](const std::string& uri, const std::string& body) -> Reply {
            return {HttpServer::OK, "put " + uri + " " + body};
        },
        Method::Put);
    server.setMessageHandler(
        [](const std::string& uri, const std::string&) -> Reply {
            return {HttpServer::NotFound, "get " + uri};
        },
        Method::Get);
    server.listen();

    using Answer = std::pair<int, std::string>;
    EXPECT_EQ(Send("PUT", "/api/say_hello?api-version=1.1", "{}"), Answer(200, "put say_hello?api-version=1.1 {}"));
    EXPECT_EQ(Send("GET", "/api/x"), Answer(404, "get x"));
    for (const char* method : {"POST", "DELETE", "PATCH"}) {
        EXPECT_EQ(Send(method, "/api/x", "{}").first, 405) << method;
    }
    server.setMessageHandler(
        [](const std::string&, const std::string&) -> Reply {
            return {HttpServer::Accepted, ""};
        },
        Method::Put);
    EXPECT_EQ(Send("PUT", "/api/x", "{}").first, 202);
}

TEST_F(HttpServerTest, HandlersGetUrisThatUriPartsTakeApart) {
    std::mutex mutex;
    std::string last;
    server.setMessageHandler(
        [&](const std::string& uri, const std::string&) -> Reply {
            std::lock_guard<std::mutex> lock(mutex);
            last = uri;
            return {HttpServer::OK, ""};
        },
        Method::Get);
    server.listen();

    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"/api", "", ""},
        {"/api/", "", ""},
        {"/api?type=x", "", "type=x"},
        {"/api/say_hello/", "say_hello", ""},
        {"/api/a/b?x=1&api-version=2", "a/b", "x=1&api-version=2"},
    };
    for (const auto& [request, path, query] : cases) {
        ASSERT_EQ(Send("GET", request).first, 200) << request;
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(HttpServer::getUriPath(last), path) << request << " gave '" << last << "'";
        EXPECT_EQ(HttpServer::getUriQuery(last), query) << request << " gave '" << last << "'";
    }
    EXPECT_EQ(HttpServer::getUriPath("//a//b/#f"), "a//b");
    EXPECT_EQ(HttpServer::getUriQuery("a?x=1?y#f"), "x=1?y");
    EXPECT_EQ(HttpServer::getUriQuery("a#f?x=1"), "");
}

TEST_F(HttpServerTest, FailingHandlersAndOversizedBodiesGetErrorsAndServingGoesOn) {
    std::atomic<int> calls{0};
    server.setMessageHandler(
        [&](const std::string&, const std::string& body) -> Reply {
            ++calls;
            if (body == "boom") {
                throw std::runtime_error("handler failed");
            }
            if (body == "int") {
                throw 42;
            }
            return {HttpServer::OK, std::to_string(body.size())};
        },
        Method::Put);
    server.setMaxBodySize(100);
    server.listen();

    EXPECT_EQ(Send("PUT", "/api/x", "boom").first, 500);
    EXPECT_EQ(Send("PUT", "/api/x", "int").first, 500);
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(Send("PUT", "/api/x", std::string(101, 'a')).first, 413);
    EXPECT_EQ(Send("PUT", "/api/x", std::string(3 * 1024 * 1024, 'a')).first, 413);
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(Send("PUT", "/api/x", std::string(100, 'a')), std::make_pair(200, std::string("100")));
}

TEST_F(HttpServerTest, ListenIsRepeatableAndRefusesATakenPort) {
    server.listen();
    server.listen();
    // A second listener of this process on the port would tear down the first.
    HttpServer twin(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "other/");
    EXPECT_THAT(ListenError(twin), HasSubstr("in use"));
    HttpServer wildcard(nullptr, HttpServer::SslConfig{}, "http://0.0.0.0", port, "api/");
    EXPECT_THAT(ListenError(wildcard), HasSubstr("in use"));
    EXPECT_EQ(Send("GET", "/api/x").first, 405);  // the first one still serves

    test::RawServer other("");  // a port held outside any HttpServer
    HttpServer late(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", other.Port(), "api/");
    EXPECT_THAT(ListenError(late), HasSubstr("in use"));

    server.close();
    EXPECT_ANY_THROW(client.request("GET", "/api/x", "").get());
    server.listen();
    EXPECT_EQ(Send("GET", "/api/x").first, 405);
}

TEST_F(HttpServerTest, AChildStartedWhileItServesInheritsNoneOfItsSockets) {
    const std::set<std::string> before = DescriptorsAChildInherits();
    server.listen();
    EXPECT_EQ(Send("GET", "/api/x").first, 405);  // leaves a kept connection open on both ends
    const std::set<std::string> during = DescriptorsAChildInherits();
    std::vector<std::string> inherited;
    std::set_difference(during.begin(), during.end(), before.begin(), before.end(), std::back_inserter(inherited));
    EXPECT_THAT(inherited, ::testing::IsEmpty());
    // A child that held the port would keep the next listener out.
    server.close();
    HttpServer next(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "api/");
    EXPECT_NO_THROW(next.listen());
}

TEST_F(HttpServerTest, RefusesAddressesItCannotServeAndServesTheWildcard) {
    HttpServer::SslConfig tls;
    tls.useSsl = true;
    HttpServer v6(nullptr, HttpServer::SslConfig{}, "http://[::1]", port, "api/");
    HttpServer foreign(nullptr, HttpServer::SslConfig{}, "http://203.0.113.7", port, "api/");
    HttpServer secure(nullptr, tls, "http://127.0.0.1", port, "api/");
    EXPECT_THAT(ListenError(v6), HasSubstr("IPv6"));
    EXPECT_THAT(ListenError(foreign), HasSubstr("203.0.113.7"));  // not an address of this machine
    EXPECT_THAT(ListenError(secure), HasSubstr("TLS"));
    const std::string other = std::to_string(port == 65535 ? 1 : port + 1);
    for (const auto& [address, why] : std::vector<std::pair<std::string, std::string>>{
             {"", "no address given"},
             {"https://127.0.0.1", "only http is"},
             {"127.0.0.1:1:2", "IPv6"},
             {"http://127.0.0.1:" + other, "carries a port other than"},
             {"http://:" + std::to_string(port) + "/api", "names no host"}}) {
        HttpServer refused(nullptr, HttpServer::SslConfig{}, address, port, "api/");
        EXPECT_THAT(ListenError(refused), HasSubstr(why)) << address;
    }
    HttpServer noPort(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", 0, "api/");
    EXPECT_THAT(ListenError(noPort), HasSubstr("outside 1..65535"));

    // "*" is every address, as "0.0.0.0" is.
    {
        HttpServer every(nullptr, HttpServer::SslConfig{}, "*", port, "api/");
        every.listen();
        EXPECT_EQ(Send("GET", "/api/x").first, 405);
    }
    // A name is looked up (from the hosts file, for this one).
    {
        HttpServer named(nullptr, HttpServer::SslConfig{}, "HTTP://localhost:" + std::to_string(port), port, "api/");
        named.listen();
        EXPECT_EQ(Send("GET", "/api/x").first, 405);
    }

    HttpServer bare(nullptr, HttpServer::SslConfig{}, "0.0.0.0", port, "api/");  // no scheme means http
    bare.listen();
    EXPECT_EQ(Send("GET", "/api/x").first, 405);
}

// A process out of descriptors cannot take a connection: the server waits a
// moment, tries again and serves it once a descriptor is free. Run in a
// process of its own, since it lowers the process's descriptor limit; 0 when
// all went so.
int ServedAfterRunningOutOfDescriptors() {
    ScopedLogCapture log(LogLevel::Warning);
    const int port = FreeTcpPort();
    HttpServer server(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "api/");
    server.setMessageHandler([](const std::string&, const std::string&) { return Reply(HttpServer::OK, "ok"); },
                             Method::Get);
    server.listen();
    // The client's socket exists before the limit falls to the lowest free
    // descriptor: the server's accept is then the one refused.
    const int otherPort = FreeTcpPort();
    const int peer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int lowestFree = ::fcntl(peer, F_DUPFD_CLOEXEC, 0);
    ::close(lowestFree);
    rlimit before{};
    ::getrlimit(RLIMIT_NOFILE, &before);
    rlimit scarce = before;
    scarce.rlim_cur = static_cast<rlim_t>(lowestFree);
    ::setrlimit(RLIMIT_NOFILE, &scarce);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    bool refused = false;
    for (int i = 0; i < 200 && !refused; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        refused = log.Sink().Contains("Accept failed");
    }
    // Meanwhile neither a request nor another server gets a socket.
    std::string requestFailure;
    try {
        HttpClient(nullptr, "http://127.0.0.1:" + std::to_string(port), std::chrono::seconds(2), nullptr)
            .request("GET", "/api/x", "")
            .get();
    } catch (const std::exception& e) {
        requestFailure = e.what();
    }
    std::string listenFailure;
    try {
        HttpServer(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", otherPort, "api/").listen();
    } catch (const std::exception& e) {
        listenFailure = e.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &before);
    const bool noSockets = requestFailure.find("Too many open files") != std::string::npos &&
                           listenFailure.find("Too many open files") != std::string::npos;
    const std::string request = "GET /api/x HTTP/1.1\r\nHost: camera\r\nConnection: close\r\n\r\n";
    (void)::send(peer, request.data(), request.size(), MSG_NOSIGNAL);
    const timeval wait{5, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string reply;
    char buffer[1024];
    for (ssize_t got; (got = ::recv(peer, buffer, sizeof buffer, 0)) > 0;) {
        reply.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(peer);
    if (!noSockets) {
        std::fprintf(stderr, "request: %s; listen: %s\n", requestFailure.c_str(), listenFailure.c_str());
    }
    return connected && refused && noSockets && reply.rfind("HTTP/1.1 200", 0) == 0 ? 0 : 1;
}

TEST(HttpServerDeathTest, OutOfDescriptorsTheServerWaitsAndServesAgain) {
    if (std::string(PMX_TEST_EMULATOR).size() > 0) {
        GTEST_SKIP() << "the program cannot start itself again under an emulator";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // exit, not _Exit: an instrumented build writes its counts on the way out.
    EXPECT_EXIT(std::exit(ServedAfterRunningOutOfDescriptors()), ::testing::ExitedWithCode(0), "");
}

TEST_F(HttpServerTest, DestructionWaitsForTheHandlerInFlight) {
    std::promise<void> started;
    std::atomic<bool> finished{false};
    auto busy = std::make_unique<HttpServer>(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "api/");
    busy->setMessageHandler(
        [&](const std::string&, const std::string&) -> Reply {
            started.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            finished = true;
            return {HttpServer::OK, ""};
        },
        Method::Put);
    busy->listen();
    auto pending = client.request("PUT", "/api/x", "{}");
    started.get_future().wait();
    busy.reset();
    EXPECT_TRUE(finished);
    try {
        pending.get();  // whether the reply still got out is the listener's business
    } catch (const std::exception&) {
    }
}

TEST_F(HttpServerTest, KeepsTheProcessThreadCountSmall) {
    server.listen();
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && line.rfind("Threads:", 0) != 0) {
    }
    std::cout << "after creating an HttpServer: " << line << " (pool " << HttpThreadPoolSize() << ")\n";
    EXPECT_LE(std::stoi(line.substr(8)), 12);
    EXPECT_THROW(SetHttpThreadPoolSize(4), std::logic_error);  // too late now
}

}  // namespace
}  // namespace tvo
