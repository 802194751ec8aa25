#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <memory>

#include "Common/FileCalls.h"
#include "HttpRest/HttpClient.h"
#include "HttpRest/HttpServer.h"
#include "Logger/LogClient.h"
#include "RawServer.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using namespace std::chrono_literals;

class HttpDownloadTest : public ::testing::Test {
protected:
    HttpDownloadTest() {
        server.setMessageHandler(
            [this](const std::string& uri, const std::string&) {
                return uri == "log" ? std::make_pair(HttpServer::OK, content)
                                    : std::make_pair(HttpServer::NotFound, std::string("no such file"));
            },
            HttpServer::HandlerMethodType::Get);
        server.listen();
    }
    std::string Url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(port) + "/" + name; }
    std::size_t FilesInDir() const {
        const auto entries = std::filesystem::directory_iterator(dir.path());
        return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }

    std::string content;
    TempDir dir;
    int port = FreeTcpPort();
    HttpServer server{nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, ""};
};

TEST_F(HttpDownloadTest, StoresTheWholeBodyAndReplacesAnOldFile) {
    for (std::size_t i = 0; content.size() < 700 * 1024; ++i) {
        content += "line " + std::to_string(i) + " of the log\n";
    }
    const auto target = dir.file("log.txt");
    WriteFile(target, "old content");
    ASSERT_TRUE(HttpClient(nullptr, Url("log"), 0ms, nullptr).download(target.string()));
    EXPECT_EQ(ReadFile(target), content);
    EXPECT_EQ(FilesInDir(), 1u);  // no partial file left beside it
}

TEST_F(HttpDownloadTest, AnErrorStatusLeavesTheDestinationAlone) {
    HttpClient missing(nullptr, Url("missing"), 0ms, nullptr);
    EXPECT_FALSE(missing.download(dir.file("fresh.txt").string()));
    EXPECT_EQ(FilesInDir(), 0u);
    WriteFile(dir.file("old.txt"), "kept");
    EXPECT_FALSE(missing.download(dir.file("old.txt").string()));
    EXPECT_EQ(ReadFile(dir.file("old.txt")), "kept");
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(HttpDownloadTest, FailuresHalfWayOrBeforeLeaveNoFile) {
    test::RawServer broken("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'x'));
    const std::string target = dir.file("half.txt").string();
    EXPECT_FALSE(
        HttpClient(nullptr, "http://127.0.0.1:" + std::to_string(broken.Port()), 2s, nullptr).download(target));
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreeTcpPort()) + "/log";
    EXPECT_FALSE(HttpClient(nullptr, refused, 2s, nullptr).download(target));
    EXPECT_FALSE(HttpClient(nullptr, "::", 2s, nullptr).download(target));
    EXPECT_FALSE(HttpClient(nullptr, Url("log"), 0ms, nullptr).download(dir.file("no/dir/x").string()));
    EXPECT_EQ(FilesInDir(), 0u);
}

// A file that cannot grow (here past the process's file size limit, as on a
// full disk) fails the download in the kernel's copy and leaves no file. In a
// process of its own, since it lowers the limit; 0 when all went so.
int FailedPastTheFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    ScopedLogCapture log;
    const TempDir dir;
    const int port = FreeTcpPort();
    HttpServer server(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "");
    server.setMessageHandler(
        [](const std::string&, const std::string&) {
            return std::make_pair(HttpServer::OK, std::string(512 * 1024, 'l'));
        },
        HttpServer::HandlerMethodType::Get);
    server.listen();
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool failed = !HttpClient(nullptr, "http://127.0.0.1:" + std::to_string(port) + "/log", 5s, nullptr)
                             .download(dir.file("log").string());
    // Back up before the process ends: an instrumented build writes its counts then.
    ::setrlimit(RLIMIT_FSIZE, &before);
    const auto entries = std::filesystem::directory_iterator(dir.path());
    const bool nothingLeft = std::distance(begin(entries), end(entries)) == 0;
    const bool said = log.Sink().Contains("cannot write the file: File too large");
    return failed && nothingLeft && said ? 0 : 1;
}

TEST(HttpDownloadDeathTest, AFileThatCannotGrowFailsTheDownloadAndLeavesNoFile) {
    if (std::string(PMX_TEST_EMULATOR).size() > 0) {
        GTEST_SKIP() << "the program cannot start itself again under an emulator";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(FailedPastTheFileSizeLimit()), ::testing::ExitedWithCode(0), "");
}

// Through the camera's own file calls: every byte of the body goes through
// their writes, and a full disk or a refused rename fails the download and
// leaves the old file.
TEST_F(HttpDownloadTest, TheFileIsMadeThroughTheGivenCalls) {
    content = std::string(300 * 1024, 'z');
    std::size_t written = 0;
    int failWith = 0;
    auto calls = std::make_shared<FileCalls>(*FileCalls::System());
    calls->write = [&](int fd, const void* data, std::size_t size) -> ssize_t {
        if (failWith == ENOSPC) {
            errno = failWith;
            return -1;
        }
        const ssize_t done = FileCalls::System()->write(fd, data, std::min<std::size_t>(size, 1000));
        written += done > 0 ? static_cast<std::size_t>(done) : 0;
        return done;
    };
    calls->rename = [&](const char* from, const char* to) {
        if (failWith == EACCES) {
            errno = EACCES;
            return -1;
        }
        return FileCalls::System()->rename(from, to);
    };
    HttpClientOptions options;
    options.baseUri = Url("log");
    options.files = calls;
    const auto target = dir.file("log.txt");
    ASSERT_TRUE(HttpClient(options).download(target.string()));
    EXPECT_EQ(written, content.size());
    EXPECT_EQ(ReadFile(target), content);

    WriteFile(target, "old content");
    for (const int error : {ENOSPC, EACCES}) {
        failWith = error;
        EXPECT_FALSE(HttpClient(options).download(target.string())) << error;
        EXPECT_EQ(ReadFile(target), "old content");
        EXPECT_EQ(FilesInDir(), 1u);
    }
}

}  // namespace
}  // namespace tvo
