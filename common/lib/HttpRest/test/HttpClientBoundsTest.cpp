// Replies that do not end, or end too late: each client call stays bounded.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>

#include "HttpRest/HttpClient.h"
#include "RawClient.h"
#include "RawServer.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

const std::string kEndless = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";

std::string Loopback(int port) {
    return "http://127.0.0.1:" + std::to_string(port);
}

std::string Failure(pplx::task<web::http::http_response> task) {
    try {
        auto response = task.get();
        return "answered " + std::to_string(response.status_code()) + " with " +
               std::to_string(response.extract_vector().get().size()) + " bytes";
    } catch (const std::exception& e) {
        return e.what();
    }
}

TEST(HttpClientBounds, RequestsFailOnRepliesPastTheLimit) {
    const std::size_t rssBefore = test::ResidentKiB();
    {
        test::RawServer endless(kEndless, false, true);
        HttpClient client(nullptr, Loopback(endless.Port()), 10s, nullptr);
        EXPECT_THAT(Failure(client.request("PUT", "/x", "{}")), HasSubstr("larger than the limit of 1048576"));
    }
    {
        test::RawServer declared("HTTP/1.1 200 OK\r\nContent-Length: 2000\r\nConnection: close\r\n\r\n" +
                                 std::string(2000, 'd'));
        HttpClient client(nullptr, Loopback(declared.Port()), 10s, nullptr);
        client.setMaxReplySize(1999);
        EXPECT_THAT(Failure(client.request("GET", "/x", "")), HasSubstr("larger than the limit of 1999"));
        client.setMaxReplySize(2000);
        EXPECT_EQ(Failure(client.request("GET", "/x", "")), "answered 200 with 2000 bytes");
    }
    const std::size_t rssAfter = test::ResidentKiB();
    std::cout << "endless reply to a request: resident " << rssBefore << " -> " << rssAfter << " KiB\n";
    EXPECT_LT(rssAfter, rssBefore + 16 * 1024 * test::kMemorySlackFactor);
}

TEST(HttpClientBounds, AnEndlessDownloadFailsAndLeavesNoFile) {
    TempDir dir;
    const std::string destination = (std::filesystem::path(dir.path()) / "log").string();
    test::RawServer endless(kEndless, false, true);
    HttpClient client(nullptr, Loopback(endless.Port()), 10s, nullptr);
    client.setMaxReplySize(4 * 1024 * 1024);
    EXPECT_FALSE(client.download(destination));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    test::RawServer declared("HTTP/1.1 200 OK\r\nContent-Length: 5000000\r\nConnection: close\r\n\r\n");
    HttpClient declaring(nullptr, Loopback(declared.Port()), 10s, nullptr);
    declaring.setMaxReplySize(4 * 1024 * 1024);
    EXPECT_FALSE(declaring.download(destination));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tvo
