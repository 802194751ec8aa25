#include "Roads.h"

#include <ostream>

namespace dockhost {

const std::vector<Road>& Roads() {
    static const std::vector<Road> roads{
        {"Default", "any unknown dock name: every operation answers at once", true, RunDefaultRoad},
        {"Dravo", "cradle adapter EEPROM: driver, block transfer or image read, status writes", true, RunDravoRoad},
        {"Velta", "USB gadget REST: hello, announcement until approved, server information, shutdown order", true,
         RunVeltaRoad},
        {"Oskin", "USB gadget REST served to the base: hello, camera questions, tenant-checked server information",
         true, RunOskinRoad},
        {"Pallix", "hello datagram, hosts-file entries, open request for the server information", true, RunPallixRoad},
    };
    return roads;
}

tvo::ProtocolEnvironment Recorded(const RoadOptions& options, tvo::ProtocolEnvironment environment) {
    if (options.recorder) {
        options.recorder->Attach(environment);
    }
    return environment;
}

const Road* FindRoad(const std::string& dock) {
    for (const auto& road : Roads()) {
        if (road.dock == dock) {
            return &road;
        }
    }
    return nullptr;
}

bool RunRoad(const RoadOptions& options, std::ostream& out) {
    RoadReport report(out, options.json);
    const Road* road = FindRoad(options.dock);
    if (!road) {
        // The factory hands out the default protocol for names it does not know.
        report.Note("no road for \"" + options.dock + "\": the factory answers with the default protocol");
        road = FindRoad("Default");
    }
    if (!options.json) {
        out << "== " << options.dock << (options.simulate ? " (simulated)" : "") << '\n';
    }
    road->run(options, report);
    report.Finish(options.dock);
    return report.Passed();
}

}  // namespace dockhost
