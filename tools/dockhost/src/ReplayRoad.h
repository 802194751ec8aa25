#pragma once
// dockhost road --replay: a recorded road against this build.

#include <iosfwd>
#include <string>

namespace dockhost {

// Replays the recording (as the given dock kind, or the recorded one when
// empty) and prints each step against the recording; true when all agree.
bool ReplayRoad(const std::string& file, const std::string& dock, bool json, std::ostream& out);

}  // namespace dockhost
