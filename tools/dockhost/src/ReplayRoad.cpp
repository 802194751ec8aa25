// A recorded road run again: the recorded dock against a protocol object of
// this build, each host call, dock request and call-back held against the
// recording.

#include "ReplayRoad.h"

#include "RoadReport.h"

#include <Recording/Recording.h>
#include <Recording/Replay.h>
#include <TestSupport/TestSupport.h>

#include <ostream>

namespace dockhost {

bool ReplayRoad(const std::string& file, const std::string& dock, bool json, std::ostream& out) {
    const auto recording = tvo::Recording::Read(file);
    const std::string kind = dock.empty() ? recording.header.dock : dock;
    RoadReport report(out, json);
    if (!json) {
        out << "== " << (kind.empty() ? "?" : kind) << " (replayed from " << file << ")\n";
    }
    for (const auto& problem : recording.problems) {
        report.Note("recording: " + problem);
    }
    if (recording.header.version == 0) {
        report.Stop("no road recording in " + file);
        report.Finish(kind);
        return false;
    }
    const tvo::TempDir folder;
    tvo::Recording::ReplayOptions options;
    options.dock = dock;
    options.folder = folder.path().string();
    const auto result = tvo::Recording::Replay(recording, options);
    report.Note("each step: what the recording has -> Ok when the replay gives the same");
    for (const auto& step : result.steps) {
        constexpr std::size_t kShown = 100;
        const std::string recorded =
            step.recorded.size() > kShown ? step.recorded.substr(0, kShown) + "..." : step.recorded;
        Values values;
        if (!step.agrees) {
            values = {{"recorded", step.recorded}, {"replayed", step.replayed}};
        }
        report.Step(step.name + ": " + recorded, step.agrees ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok},
                    values);
    }
    if (!result.Agrees()) {
        report.Stop("first difference: " + result.differences.front());
    }
    report.Finish(kind);
    return report.Passed();
}

}  // namespace dockhost
