#include <DockSim/PallixDock.h>
#include <DockSim/TestEnvironment.h>

#include <TestSupport/TestSupport.h>

#include <exception>

namespace tvo::DockSim {

struct PallixDock::State {
    explicit State(PallixDockSetup setup)
        : setup(std::move(setup)),
          discoveryPort(FreeUdpPort()),
          sender("::1", discoveryPort),
          agent(this->setup.agent) {
        WriteFile(HostsFile(), this->setup.hostsText);
    }

    std::string HostsFile() const { return directory.file("hosts").string(); }

    PallixDockSetup setup;
    TempDir directory;
    VirtualClock clock;
    int discoveryPort;
    PallixHelloSender sender;
    PallixAgent agent;
    std::vector<std::string> sendErrors;
};

PallixDock::PallixDock(PallixDockSetup setup) : state(std::make_shared<State>(std::move(setup))) {
    PlanHello();
}

PallixDock::~PallixDock() = default;

ProtocolEnvironment PallixDock::Environment() const {
    ProtocolEnvironment environment = TestEnvironment(state->directory.path().string());
    environment.pallix.interfaceName = "lo";
    environment.pallix.discoveryPort = static_cast<std::uint16_t>(state->discoveryPort);
    environment.pallix.hostsFile = state->HostsFile();
    // Resolves to 127.0.0.1, where the agent listens.
    environment.pallix.dockHostName = "localhost";
    environment.system.sleep = [state = state](std::chrono::nanoseconds interval) { state->clock.Sleep(interval); };
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
    state->clock.After(at, [weak, datagram] {
        if (auto self = weak.lock()) {
            try {
                self->sender.Send(datagram);
            } catch (const std::exception& e) {
                self->sendErrors.push_back(e.what());
            }
        }
    });
}

VirtualClock& PallixDock::Clock() {
    return state->clock;
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
