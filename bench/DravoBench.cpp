// The Dravo camera side against the emulated cradle with the waits taken out:
// CPU per whole block transfer and per whole-image read, and beside it the
// time the handshake's 250 ms waits alone would add, read off the virtual
// clock. The argument is how long the dock takes to notice a camera write.

#include <DockProtocol/DockProtoDravo.h>
#include <DockSim/DravoCradle.h>
#include <Logger/LogClient.h>

#include <benchmark/benchmark.h>

namespace tvo::DockSim {
namespace {

using RC = DockProtoIF::ReturnCode;

// The protocol's information lines would measure the log sink.
class QuietLog {
public:
    QuietLog() : previous(LogClient::GetLevel()) { LogClient::SetLevel(LogLevel::Error); }
    ~QuietLog() { LogClient::SetLevel(previous); }

private:
    LogLevel previous;
};

void BM_DravoBlockTransfer(benchmark::State& state) {
    QuietLog quiet;
    auto setup = CradleSetupFor(SampleDravoConfiguration(DravoChip::Ax88179));
    setup.reaction = std::chrono::milliseconds(state.range(0));
    DravoCradle cradle(setup);
    cradle.Dock()->SetTracing(false);
    DockProtoDravo camera(cradle.Environment());
    std::size_t requests = 0;
    for (auto _ : state) {
        cradle.Redock();
        RC code = camera.SayHello();
        while (code == RC::InProgress) {
            code = camera.BlockProtocol();
        }
        if (code != RC::Ok) {
            state.SkipWithError("transfer failed");
            break;
        }
        requests += cradle.Adapter().Requests();
        cradle.Adapter().ClearRecords();
    }
    const double waitedMs = std::chrono::duration<double, std::milli>(cradle.Clock().Slept()).count();
    state.counters["wait_ms"] = benchmark::Counter(waitedMs, benchmark::Counter::kAvgIterations);
    state.counters["ioctls"] = benchmark::Counter(static_cast<double>(requests), benchmark::Counter::kAvgIterations);
}

void BM_DravoImageRead(benchmark::State& state) {
    QuietLog quiet;
    DravoCradle cradle(CradleSetupFor(SampleDravoConfiguration(DravoChip::Lan7850)));
    DockProtoDravo camera(cradle.Environment());
    for (auto _ : state) {
        if (camera.SayHello() != RC::Ok) {
            state.SkipWithError("image read failed");
            break;
        }
        cradle.Adapter().ClearRecords();
    }
    state.counters["wait_ms"] = benchmark::Counter(
        std::chrono::duration<double, std::milli>(cradle.Clock().Slept()).count(), benchmark::Counter::kAvgIterations);
}

// 0: a dock that answers at once; 100 and 300: one and two waits per block.
BENCHMARK(BM_DravoBlockTransfer)->ArgName("reaction_ms")->Arg(0)->Arg(100)->Arg(300)->MinTime(0.2);
BENCHMARK(BM_DravoImageRead)->MinTime(0.2);

}  // namespace
}  // namespace tvo::DockSim
