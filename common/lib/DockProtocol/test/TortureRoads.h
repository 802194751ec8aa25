#pragma once
// The typical road of each dock kind against its simulator, with a fault
// plan on the camera's effects, and what each operation owes the host when
// one of them fails. The torture tests run them under every fault; the soak
// test and benchmark run them thousands of times without one.

#include "TortureSupport.h"

#include <DockSim/DravoAdapter.h>

namespace tvo::torture {

// Where the dock meets the camera: the in-memory network and its virtual
// clock, or real loopback sockets (the Dravo cradle has no network).
enum class Transport { InMemory, Loopback };

// Each runs the road on a fresh simulator and protocol object with the plan
// armed, then the next road on the same object with the fault gone.
RoadRun VeltaRoad(FaultPlan& plan, const std::function<void()>& arm, Transport transport = Transport::InMemory);
RoadRun PallixRoad(FaultPlan& plan, const std::function<void()>& arm, Transport transport = Transport::InMemory);
RoadRun OskinRoad(FaultPlan& plan, const std::function<void()>& arm, Transport transport = Transport::InMemory);
RoadRun DravoRoad(DockSim::DravoChip chip, FaultPlan& plan, const std::function<void()>& arm);

// Both REST docks bring the USB gadget link up the same way: a connection
// manager that refuses makes SayHello fail at once, with its reason logged.
inline Promise GadgetRefused() {
    return {{RC::Failed},
            std::chrono::milliseconds(0),
            LogLevel::Error,
            "Failed to start up USB Gadget interface: the connection manager has no such service"};
}

PromiseTable VeltaPromises();
PromiseTable PallixPromises();
// With the dock gone, every retry fails as well.
PromiseTable PallixPulledPromises();
PromiseTable OskinPromises();
PromiseTable DravoPromises(const std::string& interfaceName);
// The adapter interface of the emulated cradle of this chip.
std::string DravoInterface(DockSim::DravoChip chip);

std::size_t ResidentKiB();
std::size_t HeapInUseKiB();
// The C++ heap held now, counted by the program's own operator new.
std::size_t LiveHeapKiB();

// The process after some roads of a long life.
struct SoakSample {
    std::size_t roads = 0;
    std::size_t descriptors = 0;
    std::size_t threads = 0;
    std::size_t residentKiB = 0;
    std::size_t heapKiB = 0;  // allocated and not yet freed, as the heap meter reads it
    double msPerRoad = 0;     // over the roads since the sample before
};

struct SoakRun {
    std::vector<SoakSample> samples;  // before the first road, then every `every` roads
    std::string firstProblem;         // the first road that did not work, and why
};

// Runs the road `count` times without a fault, each on a fresh simulator and
// protocol object, sampling the process every `every` roads.
// The heap meter reads what is allocated and not yet freed; by default the
// allocator's own count, which also holds what its per-thread caches keep.
SoakRun Soak(const RoadRunner& road, std::size_t count, std::size_t every,
             const std::function<std::size_t()>& heapKiB = HeapInUseKiB);

}  // namespace tvo::torture
