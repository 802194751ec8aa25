// What the callers read of a reply: the same as from cpprestsdk's own client,
// with the task completing on the headers and the body streaming behind.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <sys/socket.h>

#include <cpprest/http_client.h>

#include "HttpRest/HttpClient.h"
#include "ClientTestSupport.h"
#include "RawClient.h"
#include "RawServer.h"

namespace tvo {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::chrono_literals;
using test::Loopback;
using test::Within;

// What one extraction gave: the value, or the error's type and text.
template <typename Extract>
std::string Outcome(Extract extract) {
    try {
        return "value: " + extract();
    } catch (const web::json::json_exception& e) {
        return std::string("json_exception: ") + e.what();
    } catch (const web::http::http_exception& e) {
        return std::string("http_exception: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("exception: ") + e.what();
    }
}

// Everything a caller can read of one reply, each extraction from a reply of
// its own (an extraction consumes the body).
struct Reading {
    std::string status, contentType, text, json, bytes;
    bool operator==(const Reading& other) const {
        return std::tie(status, contentType, text, json, bytes) ==
               std::tie(other.status, other.contentType, other.text, other.json, other.bytes);
    }
};
std::ostream& operator<<(std::ostream& out, const Reading& r) {
    return out << "{status " << r.status << ", type [" << r.contentType << "], text " << r.text << ", json " << r.json
               << ", bytes " << r.bytes << "}";
}

template <typename Send>
Reading Read(Send send) {
    Reading reading;
    reading.status = Outcome([&] {
        auto response = send().get();
        reading.contentType = response.headers().content_type();
        return std::to_string(response.status_code());
    });
    reading.text = Outcome([&] { return send().get().extract_string().get(); });
    reading.json = Outcome([&] { return send().get().extract_json().get().serialize(); });
    reading.bytes = Outcome([&] {
        const auto bytes = send().get().extract_vector().get();
        return std::string(bytes.begin(), bytes.end());
    });
    return reading;
}

// Apart, so that ThreadSanitizer can be told about cpprestsdk's own client:
// it completes its replies inside the uninstrumented library.
Reading ReadWithCpprestsdksOwnClient(web::http::client::http_client& client) {
    return Read([&] { return client.request(web::http::methods::GET, "/x"); });
}

TEST(HttpClientReply, ReadsEveryKindOfBodyAsCpprestsdksOwnClient) {
    const std::string replies[] = {
        // No Content-Type: cpprestsdk reads no text from it (the log request's "LogReady").
        "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n\"LogReady\"",
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 5\r\n\r\nhello",
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 16\r\n\r\n{\"room\":\"a b\"}  ",
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 5\r\n\r\n{bad}",
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 3\r\n\r\n\x01\x02\x03",
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\nContent-Length: 4\r\n\r\ncaf\xe9",
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n"
        "3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 0\r\n\r\n",
        "HTTP/1.1 204 No Content\r\nContent-Type: text/plain\r\n\r\n",
        // A body that runs until the connection closes.
        "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nto the end",
        "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\noops",
        "HTTP/1.1 200 OK\r\nContent-Type: Application/JSON; charset=utf-8\r\nContent-Length: 7\r\n\r\n[1,2,3]",
    };
    for (const std::string& reply : replies) {
        test::RawServer server(reply);
        HttpClient ours(nullptr, Loopback(server.Port()), 5s, nullptr);
        web::http::client::http_client theirs(Loopback(server.Port()));
        const Reading mine = Read([&] { return ours.request("GET", "/x", ""); });
        const Reading reference = ReadWithCpprestsdksOwnClient(theirs);
        EXPECT_EQ(mine, reference) << reply;
    }
}

// Sends the head and part of the body, then the rest once the gate opens.
test::RawServer::Script Trickle(const test::Gate& gate) {
    return [&gate](int fd, const std::string&) {
        test::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n\r\nfirst");
        gate.Wait();
        test::SendAll(fd, "-last");
        return false;
    };
}

TEST(HttpClientReply, CompletesOnTheHeadersWhileTheBodyStillArrives) {
    test::Gate rest;
    test::RawServer server(Trickle(rest));
    HttpClient client(nullptr, Loopback(server.Port()), 5s, nullptr);
    auto task = client.request("PUT", "?type=upload_status", "{}");
    ASSERT_TRUE(Within(5s, [&] { return task.is_done(); })) << "the task waits for the body";
    const web::http::http_response response = task.get();
    EXPECT_EQ(response.status_code(), 200);
    auto body = response.content_ready();
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(body.is_done());
    rest.Open();
    EXPECT_EQ(response.extract_string().get(), "first-last");
    // Both are continuations of the same arrival and may finish in either order.
    EXPECT_TRUE(Within(5s, [&] { return body.is_done(); }));
}

TEST(HttpClientReply, ABodyPastTheLimitOrBrokenOffFailsItsReadingNotTheTask) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
    struct Case {
        std::string reply;
        bool endless;
        std::string failure;
    } cases[] = {
        {head + "Transfer-Encoding: chunked\r\n\r\n", true, "larger than the limit of 1000 bytes"},
        {head + "Content-Length: 1001\r\n\r\n", false, "declares 1001 bytes, larger than the limit of 1000"},
        {head + "Content-Length: 100\r\n\r\nonly ten..", false, "broke off"},
        {head + "Transfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\nZZ\r\n", false, "unreadable reply"},
    };
    for (const Case& c : cases) {
        test::RawServer server(c.reply, false, c.endless);
        HttpClient client(nullptr, Loopback(server.Port()), 5s, nullptr);
        client.setMaxReplySize(1000);
        const web::http::http_response response = client.request("PUT", "/x", "{}").get();
        EXPECT_EQ(response.status_code(), 200) << c.reply;
        EXPECT_THAT(Outcome([&] { return response.extract_string().get(); }), HasSubstr(c.failure)) << c.reply;
    }
}

// A dock that resets the connection: before any reply the request fails, in
// the body the body's reading does, and each says where it broke.
TEST(HttpClientReply, AResetSaysWhereTheReplyBrokeOff) {
    const auto resetAfter = [](std::string written) {
        return [written](int fd, const std::string&) {
            if (!written.empty()) {
                (void)::send(fd, written.data(), written.size(), MSG_NOSIGNAL);
            }
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return false;
        };
    };
    test::RawServer silent(resetAfter(""));
    HttpClient first(nullptr, Loopback(silent.Port()), 5s, nullptr);
    EXPECT_THAT(Outcome([&] { return std::to_string(first.request("GET", "/x", "").get().status_code()); }),
                HasSubstr("no reply to GET"));

    test::RawServer halfway(resetAfter("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(2000, 'x')));
    HttpClient second(nullptr, Loopback(halfway.Port()), 5s, nullptr);
    const web::http::http_response response = second.request("GET", "/x", "").get();
    EXPECT_THAT(Outcome([&] { return response.extract_string().get(); }), HasSubstr("broke off in its body"));
}

// Headers that never end within their limit fail the request; no more of
// them is kept than the limit.
TEST(HttpClientReply, HeadersPastTheirLimitFailTheRequest) {
    test::RawServer server("HTTP/1.1 200 OK\r\nX-Padding: " + std::string(40 * 1024, 'p') + "\r\n\r\n", false, true);
    HttpClient client(nullptr, Loopback(server.Port()), 5s, nullptr);
    EXPECT_THAT(Outcome([&] { return std::to_string(client.request("GET", "/x", "").get().status_code()); }),
                HasSubstr("header limit exceeded"));
}

TEST(HttpClientReply, InterimRepliesAreSkippedAndTheConnectionIsKeptForTheNext) {
    std::atomic<int> connections{0};
    test::RawServer server([&connections](int fd, const std::string&) {
        ++connections;
        test::SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none");
        // The same connection takes the next request.
        char buffer[4096];
        if (::recv(fd, buffer, sizeof buffer, 0) > 0) {
            test::SendAll(fd, "HTTP/1.1 201 Created\r\nContent-Length: 3\r\n\r\ntwo");
        }
        return false;
    });
    HttpClient client(nullptr, Loopback(server.Port()), 5s, nullptr);
    const auto first = client.request("PUT", "/x", "{}").get();
    EXPECT_EQ(first.status_code(), 200);
    EXPECT_EQ(first.extract_vector().get().size(), 3u);
    const auto second = client.request("PUT", "/x", "{}").get();
    EXPECT_EQ(second.status_code(), 201);
    // A kept connection the server has closed meanwhile is replaced unseen.
    const auto third = client.request("PUT", "/x", "{}").get();
    EXPECT_EQ(third.status_code(), 200);
    EXPECT_EQ(connections, 2);
}

// A dock that drops a kept connection just as the next request arrives on it:
// the request goes again, once, on a fresh connection. One that does so on a
// fresh connection too gets no third try.
TEST(HttpClientReply, ARequestTheDockDroppedOnAKeptConnectionGoesOnceMore) {
    std::atomic<int> connections{0};
    std::atomic<bool> dropAlways{false};
    test::RawServer server([&](int fd, const std::string&) {
        if (++connections > 1 && dropAlways) {
            return false;
        }
        test::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok");
        char buffer[4096];
        (void)::recv(fd, buffer, sizeof buffer, 0);  // the next request, dropped unanswered
        return false;
    });
    HttpClient client(nullptr, Loopback(server.Port()), 5s, nullptr);
    EXPECT_EQ(client.request("GET", "/x", "").get().extract_string().get(), "ok");
    EXPECT_EQ(client.request("GET", "/x", "").get().extract_string().get(), "ok");
    EXPECT_EQ(connections, 2);

    dropAlways = true;
    EXPECT_THAT(Outcome([&] { return std::to_string(client.request("GET", "/x", "").get().status_code()); }),
                HasSubstr("exception"));
    EXPECT_EQ(connections, 3);
}

}  // namespace
}  // namespace tvo
