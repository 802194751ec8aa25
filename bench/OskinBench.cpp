// The Oskin camera's REST server: say-hellos per second through its dispatch
// (route, message-type check, API version, handler), against a bare
// cpprestsdk listener that answers the same requests with the same body, on
// loopback.

#include "BarePutServer.h"

#include <Common/VersionInfo.h>
#include <DockProtocol/DockProtoOskin.h>
#include <DockProtocol/RestMessages.h>
#include <DockSim/OskinBase.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <memory>
#include <string>

namespace tvo {
namespace {

const std::string kHello = [] {
    rest::SayHelloElement hello;
    hello.version = "3.1.0";
    hello.api_version = "1.1";
    return hello.ToJson().serialize();
}();

// What the camera answers, so that the bare listener sends the same bytes.
const std::string kReply = [] {
    rest::SayHelloElement reply;
    reply.version = VersionInfo::GetVersionAndBuildNumberText("");
    reply.api_version = "1.1";
    return reply.ToJson().serialize();
}();

std::string target;  // the camera's listening address, set by the Setup functions

struct StartedCamera {
    DockSim::OskinBase base;
    DockSim::OskinCameraAnswers host;
    DockProtoOskin camera{base.Environment(), &host};
};
std::unique_ptr<StartedCamera> started;

void StartOskin(const benchmark::State&) {
    LogClient::SetLevel(LogLevel::Warning);  // the per-request lines are not what is measured
    started = std::make_unique<StartedCamera>();
    if (started->camera.SayHello() != DockProtoIF::ReturnCode::Ok) {
        started.reset();
        target.clear();
        return;
    }
    target = "http://127.0.0.1:" + std::to_string(started->base.CameraPort()) + "/api/";
}
void StopOskin(const benchmark::State&) {
    started.reset();
}

std::unique_ptr<bench::BarePutServer> bare;
void StartBareListener(const benchmark::State&) {
    target = "http://127.0.0.1:" + std::to_string(FreeTcpPort()) + "/api/";
    bare = std::make_unique<bench::BarePutServer>(
        target, [](const std::string&) { return kReply; }, "application/json");
}
void StopBareListener(const benchmark::State&) {
    bare.reset();
}

// Each benchmark thread is one connection of the base saying hello back to back.
void Hellos(benchmark::State& state) {
    bench::PutBackToBack(state, target, "say_hello?api-version=1.1", kHello, kReply);
}

void BM_OskinDispatch(benchmark::State& state) {
    Hellos(state);
}
void BM_BareOskinListener(benchmark::State& state) {
    Hellos(state);
}

BENCHMARK(BM_OskinDispatch)
    ->Setup(StartOskin)
    ->Teardown(StopOskin)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(BM_BareOskinListener)
    ->Setup(StartBareListener)
    ->Teardown(StopBareListener)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace tvo
