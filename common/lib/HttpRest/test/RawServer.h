#pragma once
// A hand-made HTTP peer on loopback for what a real server never does:
// answer nothing at all, or break a body off. It also keeps the last request.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tvo::test {

class RawServer {
public:
    // Each connection's request is read whole, then answered with reply and
    // closed; an empty reply leaves it open and unanswered. An endless server
    // follows reply with 64 KiB chunks for as long as the peer takes them.
    explicit RawServer(std::string reply, bool ipv6 = false, bool endless = false);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int Port() const { return port; }
    int Accepted() const { return accepted; }
    std::string LastRequest() const;

private:
    void Run();

    std::string reply;
    bool endless = false;
    int listenFd = -1;
    int port = 0;
    std::atomic<int> accepted{0};
    mutable std::mutex mutex;
    std::string lastRequest;
    std::vector<int> held;  // server thread only
    std::thread thread;
};

}  // namespace tvo::test
