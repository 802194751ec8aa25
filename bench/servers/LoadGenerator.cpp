#include "LoadGenerator.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace tvo::bench {
namespace {

class Socket {
public:
    explicit Socket(int port) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Socket() { ::close(fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool connected = false;
    int fd;
};

// One reply: its status, and whether it was read whole.
bool ReadReply(int fd, std::string& buffer, bool& ok) {
    char chunk[8192];
    for (;;) {
        const auto head = buffer.find("\r\n\r\n");
        if (head != std::string::npos) {
            std::size_t length = 0;
            for (const char* name : {"Content-Length: ", "content-length: "}) {
                const auto at = buffer.find(name);
                if (at != std::string::npos && at < head) {
                    length = std::stoul(buffer.substr(at + 16));
                }
            }
            if (buffer.size() >= head + 4 + length) {
                ok = buffer.compare(9, 3, "200") == 0;
                buffer.erase(0, head + 4 + length);
                return true;
            }
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace

double PutRate(int port, const std::string& target, const std::string& body, int connections,
               std::chrono::milliseconds duration) {
    const std::string request = "PUT " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    std::atomic<bool> stop{false};
    std::atomic<bool> failed{false};
    std::vector<std::unique_ptr<std::atomic<long>>> counts;
    std::vector<std::thread> threads;
    for (int i = 0; i < connections; ++i) {
        counts.push_back(std::make_unique<std::atomic<long>>(0));
        threads.emplace_back([&, count = counts.back().get()] {
            while (!stop) {
                Socket socket(port);
                if (!socket.connected) {
                    failed = true;
                    return;
                }
                std::string buffer;
                bool ok = true;
                while (!stop &&
                       ::send(socket.fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(request.size()) &&
                       ReadReply(socket.fd, buffer, ok)) {
                    if (!ok) {
                        failed = true;
                        stop = true;
                    }
                    ++*count;
                }
            }
        });
    }
    auto total = [&] {
        long sum = 0;
        for (const auto& count : counts) {
            sum += *count;
        }
        return sum;
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // warm-up
    const long before = total();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(duration);
    const long after = total();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    stop = true;
    for (auto& thread : threads) {
        thread.join();
    }
    return failed ? -1.0 : static_cast<double>(after - before) / elapsed.count();
}

}  // namespace tvo::bench
