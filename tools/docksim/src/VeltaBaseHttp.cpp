#include "VeltaBaseHttp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 64 * 1024 * 1024;
// A peer that sends nothing for this long is given up.
constexpr int kIdleMs = 5000;

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in Ipv4(const std::string& address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port < 0 || port > 65535 || ::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        throw std::runtime_error("'" + address + ":" + std::to_string(port) + "' is not an IPv4 address and port");
    }
    return where;
}

FileDescriptor TcpSocket() {
    FileDescriptor made(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!made.IsOpen()) {
        throw SystemError("socket");
    }
    return made;
}

// Writes all of text; false when the peer has gone. Never raises SIGPIPE.
bool WriteAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string StatusLine(unsigned status) {
    return "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
}

}  // namespace

const char* ReasonPhrase(unsigned status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

LoopbackHttpServer::LoopbackHttpServer(const std::string& address, int port, Handler handler)
    : handler(std::move(handler)), listener(TcpSocket()) {
    const int yes = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in where = Ipv4(address, port);
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        throw SystemError("cannot listen on " + address + ":" + std::to_string(port));
    }
    if (::listen(listener.Get(), 16) != 0) {
        throw SystemError("listen");
    }
    socklen_t length = sizeof where;
    if (::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        throw SystemError("getsockname");
    }
    this->port = ntohs(where.sin_port);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        throw SystemError("pipe");
    }
    wakeRead.Reset(wake[0]);
    wakeWrite.Reset(wake[1]);
    thread = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        stopping = true;
    }
    stopped.notify_all();
    const char wake = 1;
    while (::write(wakeWrite.Get(), &wake, 1) < 0 && errno == EINTR) {
    }
    thread.join();
}

void LoopbackHttpServer::Run() {
    while (!stopping) {
        pollfd watched[2] = {{listener.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        FileDescriptor connection(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.IsOpen()) {
            Serve(connection.Get());
        }
    }
}

bool LoopbackHttpServer::WaitReadable(int connection) {
    pollfd watched[2] = {{connection, POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
    int ready;
    do {
        ready = ::poll(watched, 2, kIdleMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && watched[1].revents == 0;
}

bool LoopbackHttpServer::ReadRequest(int connection, RawRequest& request, unsigned& refusal) {
    std::string received;
    std::size_t headEnd = std::string::npos;
    char chunk[16384];
    auto readMore = [&]() {
        if (!WaitReadable(connection)) {
            return false;
        }
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        received.append(chunk, static_cast<std::size_t>(n));
        return true;
    };
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        if (received.size() > kMaxHead) {
            refusal = 431;
            return false;
        }
        if (!readMore()) {
            return false;
        }
    }

    const std::string head = received.substr(0, headEnd);
    std::string body = received.substr(headEnd + 4);
    const auto lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto firstBlank = requestLine.find(' ');
    const auto secondBlank = requestLine.find(' ', firstBlank + 1);
    if (firstBlank == std::string::npos || secondBlank == std::string::npos) {
        refusal = 400;
        return false;
    }
    request.method = requestLine.substr(0, firstBlank);
    request.target = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);

    std::size_t contentLength = 0;
    bool expectContinue = false;
    std::size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        auto next = head.find("\r\n", at);
        if (next == std::string::npos) {
            next = head.size();
        }
        const std::string line = head.substr(at, next - at);
        at = next + 2;
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string name = Lower(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "content-length") {
            try {
                contentLength = std::stoull(value);
            } catch (const std::exception&) {
                refusal = 400;
                return false;
            }
        } else if (name == "transfer-encoding" && Lower(value) != "identity") {
            refusal = 501;  // the camera's client always says how long its body is
            return false;
        } else if (name == "expect" && Lower(value) == "100-continue") {
            expectContinue = true;
        }
    }
    if (contentLength > kMaxBody) {
        refusal = 413;
        return false;
    }
    if (expectContinue && body.size() < contentLength && !WriteAll(connection, StatusLine(100) + "\r\n")) {
        return false;
    }
    received = std::move(body);
    while (received.size() < contentLength) {
        if (!readMore()) {
            return false;
        }
    }
    received.resize(contentLength);
    request.body = std::move(received);
    return true;
}

bool LoopbackHttpServer::Pause(int connection, std::chrono::milliseconds delay, bool never) {
    if (!never && delay.count() <= 0) {
        return !stopping;
    }
    // A camera that cancels closes its connection; the base stops waiting
    // then, so that one abandoned request does not hold up the next.
    const auto deadline = std::chrono::steady_clock::now() + delay;
    for (;;) {
        int wait = -1;
        if (!never) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return !stopping;
            }
            wait = static_cast<int>(std::min<long long>(left.count(), 60000));
        }
        pollfd watched[2] = {{connection, POLLRDHUP, 0}, {wakeRead.Get(), POLLIN, 0}};
        const int ready = ::poll(watched, 2, wait);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0) {
            return false;  // hung up, or stopping
        }
    }
}

void LoopbackHttpServer::SendFile(int connection, const RawReply& reply) {
    FileDescriptor file(::open(reply.bodyFile.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat facts {};
    if (!file.IsOpen() || ::fstat(file.Get(), &facts) != 0) {
        const std::string why = "cannot read " + reply.bodyFile + ": " + std::strerror(errno);
        WriteAll(connection, StatusLine(500) + "Content-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(why.size()) + "\r\nConnection: close\r\n\r\n" + why);
        return;
    }
    const auto size = static_cast<std::size_t>(facts.st_size);
    if (!WriteAll(connection, StatusLine(reply.status) + "Content-Type: " + reply.contentType +
                                  "\r\nContent-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n")) {
        return;
    }
    std::string chunk(256 * 1024, '\0');
    std::size_t left = std::min(size, reply.cutAfter);
    while (left > 0) {
        const ssize_t n = ::read(file.Get(), chunk.data(), std::min(left, chunk.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || stopping) {
            return;
        }
        chunk.resize(static_cast<std::size_t>(n));
        if (reply.garble) {
            for (auto& c : chunk) {
                c = static_cast<char>(static_cast<unsigned char>(c) | 0x80u);
            }
        }
        if (!WriteAll(connection, chunk)) {
            return;
        }
        left -= static_cast<std::size_t>(n);
        chunk.resize(256 * 1024);
    }
}

void LoopbackHttpServer::Serve(int connection) {
    RawRequest request;
    unsigned refusal = 0;
    if (!ReadRequest(connection, request, refusal)) {
        if (refusal != 0) {
            WriteAll(connection, StatusLine(refusal) + "Content-Length: 0\r\nConnection: close\r\n\r\n");
        }
        return;
    }
    RawReply reply;
    try {
        reply = handler(request);
    } catch (const std::exception& e) {
        reply = RawReply{};
        reply.status = 500;
        reply.body = e.what();
    }
    const bool answer = Pause(connection, reply.delay, reply.never) && !reply.hangUp;
    if (answer && !reply.bodyFile.empty()) {
        SendFile(connection, reply);
    } else if (answer) {
        const std::string type = reply.contentType.empty() ? "" : "Content-Type: " + reply.contentType + "\r\n";
        const bool sent = WriteAll(connection, StatusLine(reply.status) + type + "Content-Length: " +
                                                   std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n");
        if (sent && Pause(connection, reply.bodyDelay, false)) {
            WriteAll(connection, reply.body.substr(0, std::min(reply.cutAfter, reply.body.size())));
        }
    }
    if (reply.after) {
        reply.after();
    }
}

std::string SendBrokenRequest(const std::string& address, int port, const std::string& method,
                              const std::string& target, const std::string& body) {
    FileDescriptor connection = TcpSocket();
    sockaddr_in where = Ipv4(address, port);
    if (::connect(connection.Get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        throw SystemError("connect " + address + ":" + std::to_string(port));
    }
    const std::string head =
        method + " " + target + " HTTP/1.1\r\nHost: " + address + ":" + std::to_string(port) +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size() + 1024) + "\r\n\r\n";
    WriteAll(connection.Get(), head + body);
    // Half-close: the peer sees the body end early, and may still answer.
    ::shutdown(connection.Get(), SHUT_WR);
    std::string answer;
    char chunk[4096];
    for (;;) {
        pollfd watched{connection.Get(), POLLIN, 0};
        if (::poll(&watched, 1, kIdleMs) <= 0) {
            break;
        }
        const ssize_t n = ::recv(connection.Get(), chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        answer.append(chunk, static_cast<std::size_t>(n));
    }
    return answer;
}

}  // namespace tvo::DockSim
