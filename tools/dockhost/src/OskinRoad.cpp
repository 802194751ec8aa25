#include "LinkCheck.h"
#include "OskinCameraHost.h"
#include "RoadWait.h"
#include "Roads.h"

#include <DockProtocol/DockProtocol.h>
#include <DockSim/OskinBase.h>

#include <chrono>
#include <thread>

namespace dockhost {
namespace {

using Dock = tvo::DockProtoIF;
using UrlType = Dock::ServerUrlType;
using namespace std::chrono_literals;

constexpr const char* kForeignTenant = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";

OskinCameraSettings SettingsFor(const RoadOptions& options) {
    return options.cameraConfig.empty() ? OskinCameraSettings{} : ReadOskinCameraSettingsFile(options.cameraConfig);
}

// One base message as a step: it passes when the camera answered as expected.
void BaseStep(RoadReport& report, const std::string& name, const tvo::DockSim::OskinExchange& exchange,
              unsigned expected) {
    Values values{{"status", std::to_string(exchange.status)}};
    values.emplace_back(exchange.error.empty() ? "reply" : "error",
                        exchange.error.empty() ? exchange.reply : exchange.error);
    report.Step(name, exchange.status == expected ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok}, values);
}

void NoteCalls(const OskinCameraHost& host, RoadReport& report) {
    std::string calls;
    for (const auto& [name, count] : host.Calls()) {
        calls += (calls.empty() ? "" : ", ") + name + " x" + std::to_string(count);
    }
    report.Note("the base asked the host: " + (calls.empty() ? std::string("nothing") : calls));
}

void RunSimulated(const RoadOptions& options, RoadReport& report) {
    using namespace tvo::DockSim;
    OskinBase base;
    OskinCameraHost host(SettingsFor(options));  // outlives the dock, which calls into it
    report.Note("emulated Oskin base; the camera's REST server on 127.0.0.1:" + std::to_string(base.CameraPort()));
    const auto answers = options.recorder ? options.recorder->Wrap(host) : nullptr;
    tvo::DockProtoOskin object(Recorded(options, base.Environment()), answers ? answers.get() : &host);
    const Driven driven(options, object);
    Dock& dock = *driven;

    report.Step("SayHello", dock.SayHello(), {ReturnCode::Ok});
    const auto before = dock.GetServerInfo();
    report.Step("GetServerInfo (nothing pushed)",
                before.value.serverUrlType == UrlType::LocationOnly ? before.code : ReturnCode::Failed,
                {ReturnCode::Ok}, {{"serverInfo", Describe(before.value)}});

    BaseStep(report, "base: say_hello", base.SayHello(), 200);
    BaseStep(report, "base: connection_ready", base.ConnectionReady({"", "", "OSKIN-BASE-1", 0}), 200);
    BaseStep(report, "base: get_camera_config", base.GetCameraConfig(), host.Settings().configUri.empty() ? 500 : 200);
    BaseStep(report, "base: get_camera_capabilities", base.GetCameraCapabilities(), 200);
    BaseStep(report, "base: usb_device_status", base.GetUsbDeviceStatus(), 200);
    const bool provisioned = host.Settings().provisioned;
    BaseStep(report, "base: set_server_info, foreign tenant", base.SetServerInfo(SampleServerInfo(kForeignTenant)),
             provisioned ? 403 : 200);
    BaseStep(report, "base: set_server_info, camera's tenant",
             base.SetServerInfo(SampleServerInfo(host.Settings().tenantId)), 200);

    const auto after = dock.GetServerInfo();
    const bool external = after.value.serverUrlType == UrlType::Hostname;
    report.Step("GetServerInfo (pushed)", external ? after.code : ReturnCode::Failed, {ReturnCode::Ok},
                {{"serverInfo", Describe(after.value)}});

    // The camera logs a refused body whole; the road leaves out the bodies
    // too large to read in a terminal (docksim oskin sends them).
    constexpr std::size_t kShownBody = 64 * 1024;
    int unexpected = 0;
    std::size_t sent = 0;
    for (const auto& bad : base.BadInputs()) {
        if (bad.body.size() <= kShownBody) {
            ++sent;
            unexpected += base.SendBadInput(bad).status == bad.expectedStatus ? 0 : 1;
        }
    }
    report.Step("base: bad inputs", unexpected == 0 ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok},
                {{"sent", std::to_string(sent)}, {"unexpected answers", std::to_string(unexpected)}});
    NoteCalls(host, report);
}

// Against a real base: serve on the production endpoint and wait for the
// base to push its server information.
void RunReal(const RoadOptions& options, RoadReport& report) {
    OskinCameraHost host(SettingsFor(options));
    const auto answers = options.recorder ? options.recorder->Wrap(host) : nullptr;
    // The factory's object, with the environment it would get.
    tvo::DockProtoOskin object(Recorded(options, tvo::ProtocolEnvironment::Production()),
                               answers ? answers.get() : &host);
    const Driven driven(options, object);
    Dock& dock = *driven;
    const auto& oskin = tvo::ProtocolEnvironment::Production().oskin;
    const std::string where = oskin.listenAddress + ":" + std::to_string(oskin.port);
    report.Note("protocol object: Oskin, the camera's REST server on " + where + ", link " + oskin.gadgetInterface);
    const bool started = report.Step("SayHello", dock.SayHello(), {ReturnCode::Ok});
    if (!Required(report, started, [&] {
            const std::string lacking = MissingInterface(oskin.gadgetInterface);
            return lacking.empty() ? "the camera's REST server could not listen on " + where : lacking;
        })) {
        return;
    }
    WaitSettings waiting;
    waiting.limit = options.timeout;
    waiting.liveLine = options.interactive;
    Dock::Result<Dock::ServerInfo> info;
    WaitUntil("the base to push its server information", waiting, report, [&] {
        info = dock.GetServerInfo();
        return info.value.serverUrlType != UrlType::LocationOnly;
    });
    const bool pushed =
        report.Step("GetServerInfo", info.value.serverUrlType == UrlType::LocationOnly ? ReturnCode::Failed : info.code,
                    {ReturnCode::Ok}, {{"serverInfo", Describe(info.value)}});
    NoteCalls(host, report);
    Required(report, pushed, [&] {
        return "no server information from a base within " + std::to_string(options.timeout.count()) + " s";
    });
}

}  // namespace

void RunOskinRoad(const RoadOptions& options, RoadReport& report) {
    try {
        options.simulate ? RunSimulated(options, report) : RunReal(options, report);
    } catch (const std::exception& error) {
        report.Step("road", ReturnCode::Failed, {ReturnCode::Ok}, {{"error", error.what()}});
    }
}

}  // namespace dockhost
