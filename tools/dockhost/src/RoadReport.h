#pragma once
// Prints the steps of a dock's road as a person reads them, or as JSON lines
// for scripts, and remembers whether every step answered as expected.

#include <DockProtocol/DockProtoIF.h>

#include <initializer_list>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace dockhost {

using ReturnCode = tvo::DockProtoIF::ReturnCode;
using Values = std::vector<std::pair<std::string, std::string>>;

class RoadReport {
public:
    RoadReport(std::ostream& out, bool json);

    // Records one step; it passes when its code is one of the expected ones.
    bool Step(const std::string& name, ReturnCode code, std::initializer_list<ReturnCode> expected,
              const Values& values = {});
    // A line of commentary that is not a step.
    void Note(const std::string& text);
    // A status line that the next one overwrites, for a person watching a
    // terminal; the next step or note starts on a fresh line. Not in JSON.
    void Progress(const std::string& text);
    // Ends the road early: one line that says what is missing for the rest
    // of it to mean anything. The road then fails.
    void Stop(const std::string& missing);
    // Closes the road with its verdict line.
    void Finish(const std::string& dock);

    bool Passed() const { return failures == 0 && stopped.empty(); }
    const std::string& Stopped() const { return stopped; }
    int Steps() const { return steps; }

private:
    std::ostream& out;
    bool json;
    int steps = 0;
    int failures = 0;
    bool progressShown = false;
    std::string stopped;

    void EndProgress();
};

// The ServerInfo as the library prints it, for a step's values.
std::string Describe(const tvo::DockProtoIF::ServerInfo& info);
Values Describe(const tvo::DockProtoIF::NetworkConfig& config);
Values Describe(const tvo::DockProtoIF::AssociationInfo& association);

}  // namespace dockhost
