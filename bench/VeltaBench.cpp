// The Velta camera's inbound service: charge reports per second through its
// server and processREST, against a bare cpprestsdk listener that answers the
// same requests with the same reply, on loopback; and the resident memory a
// started Velta object adds to the camera's process.

#include "BarePutServer.h"

#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/RestMessages.h>
#include <DockSim/VeltaBase.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <fstream>
#include <memory>
#include <string>

namespace tvo {
namespace {

const std::string kChargeReport = [] {
    rest::ChargeStatusElement report;
    report.charge_state = "Charging";
    report.charge_fault = 1;
    return report.ToJson().serialize();
}();

std::string target;  // the camera's inbound address, set by the Setup functions

struct StartedCamera {
    DockSim::VeltaBase base;
    DockProtoVelta camera{base.Environment()};
};
std::unique_ptr<StartedCamera> started;

void StartVelta(const benchmark::State&) {
    LogClient::SetLevel(LogLevel::Warning);  // the per-request lines are not what is measured
    started = std::make_unique<StartedCamera>();
    if (started->camera.SayHello() != DockProtoIF::ReturnCode::Ok) {
        started.reset();
        return;
    }
    target = "http://127.0.0.1:" + std::to_string(started->base.CameraPort()) + "/UsbRest/1.0";
}
void StopVelta(const benchmark::State&) {
    started.reset();
}

std::unique_ptr<bench::BarePutServer> bare;
void StartBareListener(const benchmark::State&) {
    target = "http://127.0.0.1:" + std::to_string(FreeTcpPort()) + "/UsbRest/1.0";
    bare = std::make_unique<bench::BarePutServer>(
        target, [](const std::string&) { return std::string("OK"); }, "text/plain; charset=utf-8");
}
void StopBareListener(const benchmark::State&) {
    bare.reset();
}

// Each benchmark thread is one connection of the base sending charge reports
// back to back.
void ChargeReports(benchmark::State& state) {
    bench::PutBackToBack(state, target, "?type=charge_status", kChargeReport, "OK");
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// The process's resident memory with a started Velta object, and how much of
// it the object (server, handler tables, its first exchanges) added. It runs
// before the throughput benchmarks, whose objects would leave freed memory
// behind for it to reuse.
void BM_VeltaResidentMemory(benchmark::State& state) {
    LogClient::SetLevel(LogLevel::Warning);
    DockSim::VeltaBase base;  // the dock's side is not the camera's memory
    for (auto _ : state) {
        const long before = ResidentKilobytes();
        auto camera = std::make_unique<DockProtoVelta>(base.Environment());
        camera->SayHello();
        camera->Associate();
        base.SendChargeStatus({});
        const long with = ResidentKilobytes();
        state.counters["rss_kB"] = static_cast<double>(with);
        state.counters["velta_kB"] = static_cast<double>(with - before);
    }
}
BENCHMARK(BM_VeltaResidentMemory)->Iterations(1);

void BM_VeltaInbound(benchmark::State& state) {
    ChargeReports(state);
}
void BM_BareVeltaInbound(benchmark::State& state) {
    ChargeReports(state);
}

BENCHMARK(BM_VeltaInbound)->Setup(StartVelta)->Teardown(StopVelta)->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_BareVeltaInbound)
    ->Setup(StartBareListener)
    ->Teardown(StopBareListener)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace tvo
