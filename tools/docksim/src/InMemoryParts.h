#pragma once
// Inside the in-memory network: the endpoints servers register, the thread
// each of them answers on, and the datagram mailboxes.

#include <DockSim/InMemoryNetwork.h>

#include "HandlerWatch.h"

#include <Common/DatagramSocket.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tvo::DockSim {

// Runs jobs one after the other on a thread of its own, as a server answers.
// Jobs not yet started when it stops are called with run == false.
class SerialExecutor {
public:
    using Job = std::function<void(bool run)>;

    SerialExecutor();
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    void Post(Job job);
    // Drops the waiting jobs and waits for the running one; from a job of
    // its own it returns at once and the thread ends after that job.
    void Stop();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Job> jobs;
        bool stopping = false;
    };
    static void Run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared;
    std::mutex threadMutex;
    std::thread thread;
};

// What a server registered at an address and port does with a request.
struct Endpoint {
    std::function<RawReply(const RawRequest&)> answer;
    // Set when its server closes: a reply made meanwhile (by a handler that
    // closed its own server) is dropped, as a real server drops it.
    std::atomic<bool> closed{false};
    SerialExecutor executor;
};

struct Mailbox {
    std::mutex mutex;
    std::deque<std::pair<std::string, std::string>> datagrams;  // payload, sender
};

struct InMemoryNetwork::State {
    std::shared_ptr<VirtualClock> clock;
    HandlerWatch handlers;

    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<Endpoint>> endpoints;              // by "host:port"
    std::multiset<int> ports;                                                // of the endpoints
    std::map<std::string, std::string> names;                                // host name to address
    std::map<std::string, std::vector<std::shared_ptr<Mailbox>>> mailboxes;  // by "interface:port"
    std::string socketFailure;
    int nextPort = 0;

    std::string Resolve(const std::string& host) const;
    // Throws std::runtime_error when the address and port are taken.
    void Register(const std::string& host, int port, std::shared_ptr<Endpoint> endpoint);
    void Unregister(const std::string& host, int port, const std::shared_ptr<Endpoint>& endpoint);
    std::shared_ptr<Endpoint> Find(const std::string& host, int port) const;
    int FreePort();
    void CloseMailbox(const std::string& key, const std::shared_ptr<Mailbox>& mailbox);
};

std::unique_ptr<HttpClientIF> MakeMemoryClient(const std::shared_ptr<InMemoryNetwork::State>& network,
                                               const HttpClientOptions& options, ReplyFault fault = nullptr);
std::unique_ptr<HttpServerIF> MakeMemoryServer(const std::shared_ptr<InMemoryNetwork::State>& network,
                                               const HttpServerOptions& options);
std::unique_ptr<DatagramSocketIF> OpenMemoryDatagramSocket(const std::shared_ptr<InMemoryNetwork::State>& network,
                                                           const std::string& interfaceName, std::uint16_t port);

}  // namespace tvo::DockSim
