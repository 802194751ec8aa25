#include <DockSim/InMemoryNetwork.h>

#include "InMemoryParts.h"

#include <DockProtocol/ProtocolEnvironment.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>

#include <cpprest/http_msg.h>
#include <cpprest/uri_builder.h>

#include <cerrno>
#include <deque>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

// What a kernel keeps for a socket nobody reads; later datagrams are lost.
constexpr std::size_t kMailboxDatagrams = 64;
constexpr int kFirstFreePort = 40000;

std::string Key(const std::string& host, int port) {
    return host + ":" + std::to_string(port);
}

class MemoryDatagramSocket : public DatagramSocketIF {
public:
    MemoryDatagramSocket(std::shared_ptr<InMemoryNetwork::State> network, std::string key,
                         std::shared_ptr<Mailbox> mailbox)
        : network(std::move(network)), key(std::move(key)), mailbox(std::move(mailbox)) {}
    ~MemoryDatagramSocket() override { network->CloseMailbox(key, mailbox); }

    ReceivedDatagram Receive(std::size_t maxBytes) override {
        ReceivedDatagram received;
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        if (mailbox->datagrams.empty()) {
            received.error = EAGAIN;
            return received;
        }
        auto [payload, sender] = std::move(mailbox->datagrams.front());
        mailbox->datagrams.pop_front();
        if (payload.size() > maxBytes) {
            payload.resize(maxBytes);
        }
        received.size = static_cast<long>(payload.size());
        received.payload = std::move(payload);
        received.sender = std::move(sender);
        return received;
    }

private:
    std::shared_ptr<InMemoryNetwork::State> network;
    std::string key;
    std::shared_ptr<Mailbox> mailbox;
};

class PeerListener : public InMemoryNetwork::Listener {
public:
    PeerListener(std::shared_ptr<InMemoryNetwork::State> network, std::string host, int port,
                 std::shared_ptr<Endpoint> endpoint)
        : network(std::move(network)), host(std::move(host)), port(port), endpoint(std::move(endpoint)) {}
    ~PeerListener() override {
        network->Unregister(host, port, endpoint);
        endpoint->closed = true;
        endpoint->executor.Stop();
    }
    int Port() const override { return port; }

private:
    std::shared_ptr<InMemoryNetwork::State> network;
    std::string host;
    int port;
    std::shared_ptr<Endpoint> endpoint;
};

}  // namespace

// ---- State ----

std::string InMemoryNetwork::State::Resolve(const std::string& host) const {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = names.find(host);
    return found == names.end() ? host : found->second;
}

void InMemoryNetwork::State::Register(const std::string& host, int port, std::shared_ptr<Endpoint> endpoint) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!endpoints.emplace(Key(host, port), std::move(endpoint)).second) {
        throw std::runtime_error("cannot listen on " + Key(host, port) + ": address already in use");
    }
    ports.insert(port);
}

void InMemoryNetwork::State::Unregister(const std::string& host, int port, const std::shared_ptr<Endpoint>& endpoint) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = endpoints.find(Key(host, port));
    if (found != endpoints.end() && found->second == endpoint) {
        endpoints.erase(found);
        ports.erase(ports.find(port));
    }
}

std::shared_ptr<Endpoint> InMemoryNetwork::State::Find(const std::string& host, int port) const {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = endpoints.find(Key(host, port));
    return found == endpoints.end() ? nullptr : found->second;
}

int InMemoryNetwork::State::FreePort() {
    std::lock_guard<std::mutex> lock(mutex);
    while (ports.count(nextPort) != 0) {
        ++nextPort;
    }
    return nextPort++;
}

void InMemoryNetwork::State::CloseMailbox(const std::string& key, const std::shared_ptr<Mailbox>& mailbox) {
    std::lock_guard<std::mutex> lock(mutex);
    auto& open = mailboxes[key];
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (*it == mailbox) {
            open.erase(it);
            break;
        }
    }
}

// ---- InMemoryNetwork ----

InMemoryNetwork::Listener::~Listener() = default;

InMemoryNetwork::InMemoryNetwork(std::shared_ptr<VirtualClock> clock) : state(std::make_shared<State>()) {
    state->clock = clock ? std::move(clock) : std::make_shared<VirtualClock>();
    state->nextPort = kFirstFreePort;
    state->names["localhost"] = "127.0.0.1";
}

InMemoryNetwork::~InMemoryNetwork() = default;

VirtualClock& InMemoryNetwork::Clock() {
    return *state->clock;
}

std::shared_ptr<VirtualClock> InMemoryNetwork::SharedClock() const {
    return state->clock;
}

void InMemoryNetwork::Attach(ProtocolEnvironment& environment) const {
    const auto shared = state;
    environment.transport.makeHttpClient = [shared](const HttpClientOptions& options) {
        return MakeMemoryClient(shared, options);
    };
    environment.transport.makeHttpServer = [shared](const HttpServerOptions& options) {
        return MakeMemoryServer(shared, options);
    };
    environment.transport.openDiscoverySocket = [shared](const std::string& interfaceName, std::uint16_t port) {
        return OpenMemoryDatagramSocket(shared, interfaceName, port);
    };
    environment.system.sleep = [shared](std::chrono::nanoseconds interval) { shared->clock->Sleep(interval); };
    environment.system.now = [shared] { return shared->clock->TimePoint(); };
}

std::unique_ptr<HttpClientIF> InMemoryNetwork::MakeClient(const HttpClientOptions& options) const {
    return MakeMemoryClient(state, options);
}

std::unique_ptr<HttpClientIF> InMemoryNetwork::MakeClient(const HttpClientOptions& options, ReplyFault fault) const {
    return MakeMemoryClient(state, options, std::move(fault));
}

std::unique_ptr<HttpServerIF> InMemoryNetwork::MakeServer(const HttpServerOptions& options) const {
    return MakeMemoryServer(state, options);
}

std::unique_ptr<DatagramSocketIF> InMemoryNetwork::OpenDatagramSocket(const std::string& interfaceName,
                                                                      std::uint16_t port) const {
    return OpenMemoryDatagramSocket(state, interfaceName, port);
}

std::unique_ptr<InMemoryNetwork::Listener> InMemoryNetwork::Serve(const std::string& address, int port,
                                                                  Handler handler) const {
    const int chosen = port != 0 ? port : state->FreePort();
    const std::string host = state->Resolve(address);
    auto endpoint = std::make_shared<Endpoint>();
    endpoint->answer = [handler = std::move(handler)](const RawRequest& request) {
        try {
            return handler(request);
        } catch (const std::exception& e) {
            RawReply failed;
            failed.status = 500;
            failed.body = e.what();
            return failed;
        }
    };
    state->Register(host, chosen, endpoint);
    return std::make_unique<PeerListener>(state, host, chosen, std::move(endpoint));
}

int InMemoryNetwork::FreePort() const {
    return state->FreePort();
}

void InMemoryNetwork::AddName(const std::string& name, const std::string& address) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->names[name] = address;
}

bool InMemoryNetwork::SendDatagram(const std::string& interfaceName, std::uint16_t port, const std::string& payload,
                                   const std::string& sender) const {
    std::vector<std::shared_ptr<Mailbox>> open;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        open = state->mailboxes[Key(interfaceName, port)];
    }
    for (const auto& mailbox : open) {
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        if (mailbox->datagrams.size() < kMailboxDatagrams) {
            mailbox->datagrams.emplace_back(payload, sender);
        }
    }
    return !open.empty();
}

void InMemoryNetwork::FailNextDatagramSocket(std::string reason) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->socketFailure = std::move(reason);
}

std::unique_ptr<DatagramSocketIF> OpenMemoryDatagramSocket(const std::shared_ptr<InMemoryNetwork::State>& network,
                                                           const std::string& interfaceName, std::uint16_t port) {
    const std::string key = Key(interfaceName, port);
    auto mailbox = std::make_shared<Mailbox>();
    {
        std::lock_guard<std::mutex> lock(network->mutex);
        if (!network->socketFailure.empty()) {
            const std::string reason = std::move(network->socketFailure);
            network->socketFailure.clear();
            throw DatagramSocketError(reason);
        }
        network->mailboxes[key].push_back(mailbox);
    }
    return std::make_unique<MemoryDatagramSocket>(network, key, std::move(mailbox));
}

}  // namespace tvo::DockSim
