#pragma once
// The base's side of HTTP, on plain sockets so that it can do what a real
// server library never does: answer late, hang up without answering, or
// break off its own request. One connection at a time, one request each.

#include <DockSim/InMemoryNetwork.h>
#include <FileDescriptor/FileDescriptor.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tvo::DockSim {

class LoopbackHttpServer {
public:
    using Handler = std::function<RawReply(const RawRequest&)>;

    // Listens on address:port (port 0: the kernel picks); throws
    // std::runtime_error when it cannot.
    LoopbackHttpServer(const std::string& address, int port, Handler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int Port() const { return port; }

private:
    void Run();
    void Serve(int connection);
    // False when the peer went quiet, broke off, or the server is stopping.
    bool ReadRequest(int connection, RawRequest& request, unsigned& refusal);
    bool WaitReadable(int connection);
    // Waits the delay (never: without end) unless the server stops or the
    // peer hangs up first; false then.
    bool Pause(int connection, std::chrono::milliseconds delay, bool never);
    void SendFile(int connection, const RawReply& reply);

    Handler handler;
    FileDescriptor listener;
    FileDescriptor wakeRead;  // readable once the server stops
    FileDescriptor wakeWrite;
    int port = 0;
    std::mutex stopMutex;
    std::condition_variable stopped;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

// Sends a request whose head promises more body than follows, then closes.
// Returns what the peer did: "" when it hung up cleanly, else its reply.
std::string SendBrokenRequest(const std::string& address, int port, const std::string& method,
                              const std::string& target, const std::string& body);

// The reason phrase of a status for the status line.
const char* ReasonPhrase(unsigned status);

}  // namespace tvo::DockSim
