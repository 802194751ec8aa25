#pragma once
// The typical road of each dock kind: the sequence of operations a camera's
// host runs when it sits in that dock.

#include "RoadReport.h"

#include <DockProtocol/ProtocolEnvironment.h>
#include <Recording/Recorder.h>

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace dockhost {

struct RoadOptions {
    std::string dock;
    bool simulate = false;  // against the dock's simulator on loopback
    bool json = false;
    bool interactive = false;  // a person watches: progress lines allowed
    std::string chip;          // Dravo adapter chip when simulated; empty: both, one after the other
    bool allowWrites = false;  // Dravo: status writes to real hardware (PHY register, EEPROM byte)
    int cancelAfterMs = -1;    // Pallix: Cancel from a second thread this long into GetServerInfo; <0 never
    std::string cameraConfig;  // Oskin: the host's answers to the base; empty: built-in ones
    // Against a real dock, the limit of every wait: the association poll, the
    // wait for an Oskin base, the open request.
    std::chrono::seconds timeout{30};
    // Writes down everything that crosses the camera's edge; none: nothing is.
    std::shared_ptr<tvo::Recording::Recorder> recorder;
};

// The environment a road hands its protocol object: recorded when the road is.
tvo::ProtocolEnvironment Recorded(const RoadOptions& options, tvo::ProtocolEnvironment environment);

// The protocol object a road drives: the object itself, or the recorder's
// wrapper around it.
class Driven {
public:
    Driven(const RoadOptions& options, tvo::DockProtoIF& dock)
        : wrapper(options.recorder ? options.recorder->Wrap(dock) : nullptr), dock(wrapper ? *wrapper : dock) {}
    tvo::DockProtoIF& operator*() const { return dock; }
    tvo::DockProtoIF* operator->() const { return &dock; }

private:
    std::unique_ptr<tvo::DockProtoIF> wrapper;
    tvo::DockProtoIF& dock;
};

struct Road {
    std::string dock;
    std::string summary;
    bool hasSimulator;
    // Runs the road into the report; false when it could not run at all.
    std::function<void(const RoadOptions&, RoadReport&)> run;
};

// Every road this tool knows, in the order `demo` runs them.
const std::vector<Road>& Roads();
const Road* FindRoad(const std::string& dock);

// Runs one road and prints its verdict; true when every step was as expected.
bool RunRoad(const RoadOptions& options, std::ostream& out);

// The roads of the dock kinds.
void RunDefaultRoad(const RoadOptions& options, RoadReport& report);
void RunDravoRoad(const RoadOptions& options, RoadReport& report);
void RunVeltaRoad(const RoadOptions& options, RoadReport& report);
// The base asks a camera of its own for firmware and configuration (simulated only).
void RunVeltaFirmwareStep(RoadReport& report);
void RunPallixRoad(const RoadOptions& options, RoadReport& report);
void RunOskinRoad(const RoadOptions& options, RoadReport& report);

}  // namespace dockhost
