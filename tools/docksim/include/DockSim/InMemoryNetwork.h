#pragma once
// A network inside the process. HTTP servers and clients and discovery
// datagrams meet by address and port without a socket, and every wait and
// time limit runs on a virtual clock. Protocol objects reach it through the
// transport of their environment (Attach), the simulators through the same
// calls, so a dock's whole road runs with no port and no waiting: a test on
// it passes with the network down.
//
// What it keeps from the real transport: each server answers on a thread of
// its own, one request at a time, routed like the real server; refused
// connections, hang-ups, time-outs and cancellation fail the request, and a
// body past the client's size limit fails its reading, as the real client
// does. What it leaves out
// is the wire itself: half-sent requests, slow bytes and socket errors stay
// with the loopback tests.

#include <DockSim/VirtualClock.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tvo {
class HttpClientIF;
struct HttpClientOptions;
class HttpServerIF;
struct HttpServerOptions;
class DatagramSocketIF;
struct ProtocolEnvironment;
}  // namespace tvo

namespace tvo::DockSim {

// A request as a simulated peer's server sees it.
struct RawRequest {
    std::string method;
    std::string target;  // "/UsbRest/1.0?type=say_hello"
    std::string body;
};

// How a simulated peer answers, including the ways it can misbehave.
struct RawReply {
    std::chrono::milliseconds delay{0};
    bool hangUp = false;
    // No answer until the peer hangs up or the server stops.
    bool never = false;
    unsigned status = 200;
    std::string contentType = "text/plain";  // empty: none is sent
    std::string body;
    // When set, the body is this file's content instead, streamed.
    std::string bodyFile;
    // Bytes of the body sent before the connection is dropped; the head
    // still promises the whole body.
    std::size_t cutAfter = std::string::npos;
    // The head goes at once, the body this much later (over loopback; in
    // memory the reply arrives whole).
    std::chrono::milliseconds bodyDelay{0};
    // Each byte of the file is sent with its top bit set: no text at all.
    bool garble = false;
    // Runs once the reply is on its way (or dropped).
    std::function<void()> after;
    // Nobody listens: the connection is refused at once.
    bool refused = false;
};

// Stands in for the server's answer to a client's request when it gives
// one: the server never sees that request.
using ReplyFault = std::function<std::optional<RawReply>(const RawRequest&)>;

class InMemoryNetwork {
public:
    using Handler = std::function<RawReply(const RawRequest&)>;

    // A client's time limit of 0 stands for this, as for the real client.
    static constexpr std::chrono::seconds kDefaultClientLimit{30};

    // The clock every wait and time limit of this network runs on; a new
    // one when none is given.
    explicit InMemoryNetwork(std::shared_ptr<VirtualClock> clock = nullptr);
    // Servers, clients and environments made here keep what they need of
    // the network alive; they may outlive this object.
    ~InMemoryNetwork();
    InMemoryNetwork(const InMemoryNetwork&) = delete;
    InMemoryNetwork& operator=(const InMemoryNetwork&) = delete;

    VirtualClock& Clock();
    std::shared_ptr<VirtualClock> SharedClock() const;

    // Points the environment's transport, sleep and clock at this network.
    // The environment keeps the network alive.
    void Attach(ProtocolEnvironment& environment) const;

    // The transport's three factories, for simulators and tests.
    std::unique_ptr<HttpClientIF> MakeClient(const HttpClientOptions& options) const;
    // A client whose requests meet the fault first (a fault plan's).
    std::unique_ptr<HttpClientIF> MakeClient(const HttpClientOptions& options, ReplyFault fault) const;
    std::unique_ptr<HttpServerIF> MakeServer(const HttpServerOptions& options) const;
    std::unique_ptr<DatagramSocketIF> OpenDatagramSocket(const std::string& interfaceName, std::uint16_t port) const;

    // A simulated peer's server at address and port (0: the next free port),
    // answering on a thread of its own until the returned handle goes.
    // Throws std::runtime_error when the address and port are taken.
    class Listener {
    public:
        virtual ~Listener();
        virtual int Port() const = 0;
    };
    std::unique_ptr<Listener> Serve(const std::string& address, int port, Handler handler) const;

    // A port no server of this network holds.
    int FreePort() const;
    // Makes a host name reach the address, as a hosts file or DNS would.
    void AddName(const std::string& name, const std::string& address) const;

    // Hands a datagram to the sockets open on the interface and port; false
    // when none is.
    bool SendDatagram(const std::string& interfaceName, std::uint16_t port, const std::string& payload,
                      const std::string& sender) const;
    // The next opening of a discovery socket fails with this reason.
    void FailNextDatagramSocket(std::string reason) const;

    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace tvo::DockSim
