#include "RawServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tvo::test {
namespace {

// The head, and as much body as Content-Length announces.
std::string ReadRequest(int fd) {
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string text;
    char buffer[4096];
    for (;;) {
        const auto head = text.find("\r\n\r\n");
        if (head != std::string::npos) {
            const auto length = text.find("Content-Length:");
            const std::size_t body = length < head ? std::stoul(text.substr(length + 15)) : 0;
            if (text.size() >= head + 4 + body) {
                return text;
            }
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// Where a connection came from, as text.
std::string PeerOf(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    char text[INET6_ADDRSTRLEN] = {};
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return std::string();
    }
    const void* address = peer.ss_family == AF_INET6
                              ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr)
                              : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&peer)->sin_addr);
    return ::inet_ntop(peer.ss_family, address, text, sizeof text) ? text : "";
}

}  // namespace

RawServer::RawServer(Script script, const std::string& ipv4Address) : script(std::move(script)) {
    Listen(false, ipv4Address);
}

RawServer::RawServer(std::string reply, bool ipv6, bool endless) : reply(std::move(reply)), endless(endless) {
    Listen(ipv6, "127.0.0.1");
}

void RawServer::Listen(bool ipv6, const std::string& ipv4Address) {
    listenFd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in v4{AF_INET, 0, {}, {}};
    ::inet_pton(AF_INET, ipv4Address.c_str(), &v4.sin_addr);
    sockaddr_in6 v6{AF_INET6, 0, 0, in6addr_loopback, 0};
    sockaddr* address = ipv6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
    socklen_t length = ipv6 ? sizeof v6 : sizeof v4;
    if (listenFd < 0 || ::bind(listenFd, address, length) != 0 || ::listen(listenFd, 8) != 0 ||
        ::getsockname(listenFd, address, &length) != 0) {
        ::close(listenFd);
        throw std::runtime_error("RawServer: cannot listen on " + (ipv6 ? std::string("::1") : ipv4Address));
    }
    port = ntohs(ipv6 ? v6.sin6_port : v4.sin_port);
    thread = std::thread([this] { Run(); });
}

RawServer::~RawServer() {
    ::shutdown(listenFd, SHUT_RDWR);  // wakes the blocked accept
    thread.join();
    for (int fd : held) {
        ::close(fd);
    }
    ::close(listenFd);
}

std::string RawServer::LastPeer() const {
    std::lock_guard<std::mutex> lock(mutex);
    return lastPeer;
}

std::string RawServer::LastRequest() const {
    std::lock_guard<std::mutex> lock(mutex);
    return lastRequest;
}

void RawServer::Run() {
    for (int fd; (fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        ++accepted;
        std::string request = ReadRequest(fd);
        Script run;
        {
            std::lock_guard<std::mutex> lock(mutex);
            lastRequest = request;
            lastPeer = PeerOf(fd);
            run = script;
        }
        if (run) {
            if (run(fd, request)) {
                held.push_back(fd);
            } else {
                ::close(fd);
            }
            continue;
        }
        if (reply.empty()) {
            held.push_back(fd);
            continue;
        }
        (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (endless) {
            const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
            while (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
            }
        }
        ::close(fd);
    }
}

}  // namespace tvo::test
