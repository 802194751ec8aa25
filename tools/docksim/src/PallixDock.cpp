#include <DockSim/InMemoryNetwork.h>
#include <DockSim/PallixDock.h>
#include <DockSim/TestEnvironment.h>

#include <TestSupport/TestSupport.h>

#include <exception>

namespace tvo::DockSim {

namespace {

// The hello's sender on either network.
constexpr const char* kDockAddress = "::1";
// On an in-memory network no other test holds the port.
constexpr int kMemoryDiscoveryPort = 9009;

PallixAgentSetup OnNetwork(PallixAgentSetup agent, const std::shared_ptr<InMemoryNetwork>& network) {
    agent.network = network;
    return agent;
}

}  // namespace

struct PallixDock::State {
    explicit State(PallixDockSetup chosen)
        : setup(std::move(chosen)),
          clock(setup.network ? setup.network->SharedClock() : std::make_shared<VirtualClock>()),
          discoveryPort(setup.network ? kMemoryDiscoveryPort : FreeUdpPort()),
          agent(OnNetwork(setup.agent, setup.network)) {
        if (!setup.network) {
            sender = std::make_unique<PallixHelloSender>(kDockAddress, discoveryPort);
        }
        WriteFile(HostsFile(), setup.hostsText);
    }

    std::string HostsFile() const { return directory.file("hosts").string(); }
    std::string Interface() const { return setup.network ? kTestGadgetInterface : "lo"; }

    void Send(const std::string& datagram) {
        if (sender) {
            sender->Send(datagram);
        } else if (!setup.network->SendDatagram(Interface(), static_cast<std::uint16_t>(discoveryPort), datagram,
                                                kDockAddress)) {
            throw std::runtime_error("no socket open for the hello");
        }
    }

    PallixDockSetup setup;
    TempDir directory;
    std::shared_ptr<VirtualClock> clock;
    int discoveryPort;
    std::unique_ptr<PallixHelloSender> sender;  // on loopback
    PallixAgent agent;
    std::vector<std::string> sendErrors;
};

PallixDock::PallixDock(PallixDockSetup setup) : state(std::make_shared<State>(std::move(setup))) {
    PlanHello();
}

PallixDock::~PallixDock() = default;

ProtocolEnvironment PallixDock::Environment() const {
    ProtocolEnvironment environment = TestEnvironment(state->directory.path().string());
    environment.pallix.interfaceName = state->Interface();
    environment.pallix.discoveryPort = static_cast<std::uint16_t>(state->discoveryPort);
    environment.pallix.hostsFile = state->HostsFile();
    // Resolves to 127.0.0.1, where the agent listens.
    environment.pallix.dockHostName = "localhost";
    if (state->setup.network) {
        state->setup.network->Attach(environment);
    }
    environment.system.sleep = [state = state](std::chrono::nanoseconds interval) { state->clock->Sleep(interval); };
    environment.system.now = [state = state] { return state->clock->TimePoint(); };
    return environment;
}

void PallixDock::PlanHello() {
    const auto kind = state->setup.hello;
    PlanHello(kind, kind == PallixHello::Late ? kPallixHelloWindow : state->setup.helloAt);
}

void PallixDock::PlanHello(PallixHello kind, std::chrono::milliseconds at) {
    if (kind == PallixHello::None) {
        return;
    }
    const std::string datagram = PallixHelloDatagram(kind, state->agent.Port());
    std::weak_ptr<State> weak = state;
    state->clock->After(at, [weak, datagram] {
        if (auto self = weak.lock()) {
            try {
                self->Send(datagram);
            } catch (const std::exception& e) {
                self->sendErrors.push_back(e.what());
            }
        }
    });
}

VirtualClock& PallixDock::Clock() {
    return *state->clock;
}
PallixAgent& PallixDock::Agent() {
    return state->agent;
}
const PallixDockSetup& PallixDock::Setup() const {
    return state->setup;
}
int PallixDock::DiscoveryPort() const {
    return state->discoveryPort;
}
std::string PallixDock::HostsFile() const {
    return state->HostsFile();
}
std::string PallixDock::HostsText() const {
    return ReadFile(state->HostsFile());
}
std::vector<std::string> PallixDock::SendErrors() const {
    return state->sendErrors;
}

}  // namespace tvo::DockSim
