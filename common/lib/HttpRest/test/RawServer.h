#pragma once
// A hand-made HTTP peer on loopback for what a real server never does:
// answer nothing at all, trickle, or break a body off. It also keeps the last
// request and where it came from.

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tvo::test {

// A signal a test gives a server script it holds up: Open() releases every
// Wait(), also the later ones.
class Gate {
public:
    Gate() : opened(promise.get_future().share()) {}
    void Open() {
        std::call_once(once, [this] { promise.set_value(); });
    }
    void Wait() const { opened.wait(); }

private:
    std::once_flag once;
    std::promise<void> promise;
    std::shared_future<void> opened;
};

class RawServer {
public:
    // Runs on the server's thread for each connection once its request is in:
    // writes what it likes to fd and returns whether to keep fd open (held
    // until the server goes) rather than close it.
    using Script = std::function<bool(int fd, const std::string& request)>;

    // Each connection's request is read whole, then answered with reply and
    // closed; an empty reply leaves it open and unanswered. An endless server
    // follows reply with 64 KiB chunks for as long as the peer takes them.
    explicit RawServer(std::string reply, bool ipv6 = false, bool endless = false);
    // Each connection's request is read whole, then handed to script. The
    // server listens on ipv4Address (loopback unless given).
    explicit RawServer(Script script, const std::string& ipv4Address = "127.0.0.1");
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int Port() const { return port; }
    int Accepted() const { return accepted; }
    std::string LastRequest() const;
    // The address the last connection came from.
    std::string LastPeer() const;

private:
    void Listen(bool ipv6, const std::string& ipv4Address);
    void Run();

    std::string reply;
    bool endless = false;
    Script script;
    int listenFd = -1;
    int port = 0;
    std::atomic<int> accepted{0};
    mutable std::mutex mutex;
    std::string lastRequest;
    std::string lastPeer;
    std::vector<int> held;  // server thread only
    std::thread thread;
};

}  // namespace tvo::test
