// Every dock kind's simulated road, recorded over loopback, replays against
// its recorded dock step by step and draws with every message named.

#include "Roads.h"

#include <Recording/Draw.h>
#include <Recording/Recorder.h>
#include <Recording/Recording.h>
#include <Recording/Replay.h>
#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <sstream>

namespace dockhost {
namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

class RecordedRoad : public testing::TestWithParam<std::string> {};

TEST_P(RecordedRoad, ReplaysAlikeAndDrawsEveryMessage) {
    const tvo::TempDir folder;
    const std::string file = folder.file("road.jsonl").string();
    RoadOptions options;
    options.dock = GetParam();
    options.simulate = true;
    options.recorder = std::make_shared<tvo::Recording::Recorder>(
        file, tvo::Recording::RecorderOptions{options.dock, true, false, "test"});
    std::ostringstream out;
    ASSERT_TRUE(RunRoad(options, out)) << out.str();
    std::string error;
    ASSERT_TRUE(options.recorder->Finish(error)) << error;

    const auto recording = tvo::Recording::Read(file);
    EXPECT_TRUE(recording.problems.empty());
    ASSERT_GT(recording.events.size(), 5u);
    const tvo::TempDir replayFolder;
    const auto result = tvo::Recording::Replay(recording, {"", replayFolder.path().string()});
    EXPECT_TRUE(result.Agrees()) << result.differences.front();
    EXPECT_FALSE(result.steps.empty());

    const std::string svg = tvo::Recording::DrawSvg(recording);
    for (const auto& event : recording.events) {
        // The drawing cuts long summaries; their beginning names them.
        const std::string named = Escaped(event.summary.substr(0, 40));
        EXPECT_NE(svg.find(named), std::string::npos) << "line " << event.line << ": " << event.summary;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RecordedRoad, testing::Values("Default", "Dravo", "Velta", "Oskin", "Pallix"));

}  // namespace
}  // namespace dockhost
