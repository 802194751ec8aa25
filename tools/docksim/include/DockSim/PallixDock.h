#pragma once
// An emulated Pallix dock on loopback for tests, tools and benchmarks: the
// hello goes out while the camera waits on a virtual clock, the agent is a
// real HTTP server, and the hosts file is a temporary one. The camera is
// reached through a protocol environment that points at all of it.

#include <DockSim/PallixAgent.h>
#include <DockSim/PallixHello.h>
#include <DockSim/VirtualClock.h>

#include <DockProtocol/ProtocolEnvironment.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace tvo::DockSim {

class InMemoryNetwork;

struct PallixDockSetup {
    // The network the hello and the agent go on, and whose clock the camera
    // waits on; null: real loopback sockets and a clock of the dock's own.
    std::shared_ptr<InMemoryNetwork> network;
    PallixHello hello = PallixHello::WellFormed;
    // When the hello goes out, counted from the start of the camera's wait
    // (virtual time). A late hello goes out when the camera's window ends.
    std::chrono::milliseconds helloAt{200};
    PallixAgentSetup agent;
    // The hosts file before the camera writes, deliberately without a final
    // newline.
    std::string hostsText = "127.0.0.1\tlocalhost";
};

// The whole window the camera listens for a hello: six polls, 200 ms apart.
inline constexpr std::chrono::milliseconds kPallixHelloWindow{1200};

class PallixDock {
public:
    // Throws std::runtime_error when a socket, port or file cannot be had.
    explicit PallixDock(PallixDockSetup setup = {});
    ~PallixDock();
    PallixDock(const PallixDock&) = delete;
    PallixDock& operator=(const PallixDock&) = delete;

    // The test environment turned to this dock: the loopback interface (or
    // the in-memory network), a free discovery port, the temporary hosts
    // file, a dock host name that resolves to loopback, and the virtual
    // clock. The clock and the hosts file stay alive as long as an
    // environment does.
    ProtocolEnvironment Environment() const;

    // Plans the setup's hello for the next SayHello (the constructor plans
    // the first), or another one.
    void PlanHello();
    void PlanHello(PallixHello kind, std::chrono::milliseconds at);

    VirtualClock& Clock();
    PallixAgent& Agent();
    const PallixDockSetup& Setup() const;
    int DiscoveryPort() const;
    std::string HostsFile() const;
    std::string HostsText() const;
    // Hellos that could not be sent, with the reason.
    std::vector<std::string> SendErrors() const;

    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace tvo::DockSim
