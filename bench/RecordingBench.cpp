// What recording a road costs: the Velta road on the in-memory network with
// and without a recorder, and reading and replaying its recording.

#include <DockProtocol/DockProtoVelta.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/VeltaBase.h>
#include <Logger/LogClient.h>
#include <Recording/Recorder.h>
#include <Recording/Recording.h>
#include <Recording/Replay.h>
#include <TestSupport/TestSupport.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;

// Hello, identity, association and server information; true when it worked.
bool Road(DockProtoIF& dock) {
    if (dock.SayHello() != RC::Ok) {
        return false;
    }
    dock.SetSerialNumber("PMX-BENCH-01");
    dock.SetWifiMac("02:00:00:be:9c:01");
    // The base's approval comes on its own thread, as a host would poll.
    for (int polls = 0; polls < 1000; ++polls) {
        if (dock.Associate().code == RC::Ok) {
            return dock.GetServerInfo().code == RC::Ok;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
}

// Runs the road once; with a file, recorded into it.
bool RunVeltaRoad(const std::string& file) {
    DockSim::VeltaBaseSetup setup;
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    DockSim::VeltaBase base(setup);
    auto environment = base.Environment();
    if (file.empty()) {
        DockProtoVelta camera(environment);
        return Road(camera);
    }
    Recording::Recorder recorder(file, {"Velta", true, false, "bench"});
    recorder.Attach(environment);
    DockProtoVelta camera(environment);
    return Road(*recorder.Wrap(camera));
}

void BM_VeltaRoadInMemory(benchmark::State& state) {
    LogClient::SetLevel(LogLevel::Warning);
    const TempDir folder;
    const std::string file = state.range(0) ? folder.file("road.jsonl").string() : std::string();
    for (auto _ : state) {
        if (!RunVeltaRoad(file)) {
            state.SkipWithError("the road did not work");
            return;
        }
    }
    state.SetLabel(state.range(0) ? "recorded" : "not recorded");
}
BENCHMARK(BM_VeltaRoadInMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

std::string RecordedVeltaRoad(const TempDir& folder) {
    const std::string file = folder.file("road.jsonl").string();
    RunVeltaRoad(file);
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void BM_ParseRecording(benchmark::State& state) {
    LogClient::SetLevel(LogLevel::Warning);
    const TempDir folder;
    const std::string text = RecordedVeltaRoad(folder);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Recording::Parse(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseRecording)->Unit(benchmark::kMicrosecond);

void BM_ReplayVeltaRoad(benchmark::State& state) {
    LogClient::SetLevel(LogLevel::Error);  // the replayed road logs as the camera does
    const TempDir folder;
    const auto recording = Recording::Parse(RecordedVeltaRoad(folder));
    for (auto _ : state) {
        const TempDir replayFolder;
        if (!Recording::Replay(recording, {"", replayFolder.path().string()}).Agrees()) {
            state.SkipWithError("the replay differed");
            return;
        }
    }
}
BENCHMARK(BM_ReplayVeltaRoad)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tvo
