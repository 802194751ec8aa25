#pragma once
// An emulated Dravo cradle for tests, tools and benchmarks: the adapter, the
// dock side of the handshake and a virtual clock, reached through a protocol
// environment whose ioctls, interface queries and sleeps all end here.

#include <DockSim/DravoAdapter.h>
#include <DockSim/DravoDock.h>
#include <DockSim/DravoImage.h>
#include <DockSim/VirtualClock.h>

#include <Common/LinuxApi.h>
#include <DockProtocol/ProtocolEnvironment.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvo::DockSim {

struct DravoCradleSetup {
    DravoChip chip = DravoChip::Lan7850;
    DravoImage image{};  // the camera's view, as BuildDravoImage makes it
    std::array<std::byte, 6> mac = DravoAdapterMac(0);

    // How the dock misbehaves (ax88179 only) and how quickly it reacts.
    std::vector<DockFaultAt> faults;
    std::chrono::milliseconds reaction{0};

    // How the adapter misbehaves.
    std::optional<std::string> driverName;
    std::optional<unsigned> failRequest;
    int failErrno = EIO;

    std::string interfaceName = "eth0";
    bool up = true;
    std::string ipAddress = "10.20.30.40";
};

// A cradle holding the configuration, its adapter answering for the slot.
// Throws std::invalid_argument when the configuration cannot be stored.
DravoCradleSetup CradleSetupFor(const DravoConfiguration& configuration);

class DravoCradle {
public:
    explicit DravoCradle(DravoCradleSetup setup);
    ~DravoCradle();
    DravoCradle(const DravoCradle&) = delete;
    DravoCradle& operator=(const DravoCradle&) = delete;

    // Each one a separate seam into the same adapter; they keep it alive.
    std::unique_ptr<LinuxApiIF> MakeLinuxApi() const;
    // The production environment with the adapter's interface, its queries
    // and the virtual clock in place of the system's.
    ProtocolEnvironment Environment() const;

    VirtualClock& Clock();
    DravoAdapter& Adapter();
    DravoDock* Dock();  // null for a LAN78xx cradle
    const DravoCradleSetup& Setup() const;

    // The camera was taken out and put back: the dock starts from block 0.
    void Redock();

    // Opaque; shared by the seams handed out, so they outlive the cradle.
    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace tvo::DockSim
