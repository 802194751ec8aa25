#include "RawClient.h"

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tvo::test {
namespace {

std::size_t CompleteReplies(const std::string& text) {
    std::size_t count = 0;
    std::size_t at = 0;
    for (;;) {
        const auto head = text.find("\r\n\r\n", at);
        if (head == std::string::npos) {
            return count;
        }
        std::size_t body = 0;
        const auto length = text.find("Content-Length: ", at);
        if (length != std::string::npos && length < head) {
            body = std::stoul(text.substr(length + 16));
        }
        if (text.size() < head + 4 + body) {
            return count;
        }
        at = head + 4 + body;
        ++count;
    }
}

}  // namespace

RawClient::RawClient(int port) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("cannot connect to port " + std::to_string(port) + ": " + reason);
    }
}

RawClient::~RawClient() {
    ::close(fd);
}

bool RawClient::Send(const std::string& text) {
    return SendAll(fd, text);
}

std::size_t RawClient::SendFiller(std::size_t bytes) {
    const std::vector<char> block(64 * 1024, 'x');
    std::size_t sent = 0;
    while (sent < bytes) {
        // Waits at most a few seconds for room: a peer that stopped reading ends it.
        pollfd waiting{fd, POLLOUT, 0};
        if (::poll(&waiting, 1, 3000) != 1 || (waiting.revents & (POLLERR | POLLHUP))) {
            return sent;
        }
        const ssize_t n = ::send(fd, block.data(), std::min(block.size(), bytes - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EAGAIN) {
            continue;
        }
        if (n <= 0) {
            return sent;
        }
        sent += static_cast<std::size_t>(n);
    }
    return sent;
}

std::string RawClient::Receive(std::chrono::milliseconds within) {
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(within.count())) != 1) {
            return text;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string RawClient::ReceiveReplies(std::size_t n, std::chrono::milliseconds within) {
    std::string text;
    char buffer[4096];
    while (CompleteReplies(text) < n) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(within.count())) != 1) {
            break;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

bool RawClient::ClosedWithin(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(left.count())) != 1) {
            return false;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return true;  // end of stream or reset
        }
    }
}

std::size_t ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoul(line.substr(6));
        }
    }
    return 0;
}

namespace {

std::size_t EntriesIn(const char* folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder), ::closedir);
    std::size_t count = 0;
    while (dir && ::readdir(dir.get()) != nullptr) {
        ++count;
    }
    return count - 2;  // "." and ".."
}

}  // namespace

std::size_t OpenDescriptors() {
    return EntriesIn("/proc/self/fd") - 1;  // the directory's own
}

std::size_t Threads() {
    return EntriesIn("/proc/self/task");
}

bool SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace tvo::test
