#include "LinkCheck.h"
#include "RoadWait.h"
#include "Roads.h"

#include <DockProtocol/DockProtocol.h>
#include <DockSim/VeltaBase.h>
#include <TestSupport/TestSupport.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace dockhost {
namespace {

using Dock = tvo::DockProtoIF;
using namespace std::chrono_literals;

constexpr const char* kWifiMac = "02:00:00:c0:ff:ee";
constexpr const char* kSerialNumber = "PMX-DOCKHOST-01";

// The base's orders arrive on the inbound server's threads; the road waits
// for them on its own.
class Orders {
public:
    void Shutdown(Shutdown::ShutdownType type) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            shutdowns.push_back(type);
        }
        arrived.notify_all();
    }

    bool WaitForShutdown(std::chrono::milliseconds limit, Shutdown::ShutdownType& type) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!arrived.wait_for(lock, limit, [this] { return !shutdowns.empty(); })) {
            return false;
        }
        type = shutdowns.front();
        return true;
    }

    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return shutdowns.size();
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Shutdown::ShutdownType> shutdowns;
};

struct Outcome {
    Dock::AssociationInfo association;
    Dock::ServerInfo server;
    bool associated = false;
};

// A host polls Associate until the base approves: quickly against the
// emulated base, at a real host's pace against a real one. missing() says
// what the machine lacks when the dock cannot be reached.
Outcome Drive(Dock& dock, Orders& orders, const RoadOptions& options, RoadReport& report,
              const std::function<std::string()>& missing) {
    Outcome outcome;
    dock.SetShutdownCallback([&orders](Shutdown::ShutdownType type) { orders.Shutdown(type); });
    WaitSettings waiting;
    waiting.limit = options.timeout;
    waiting.pause = options.simulate ? 20ms : 500ms;
    waiting.liveLine = options.interactive;
    // InProgress: the camera's server does not listen yet; a host asks again.
    ReturnCode hello = ReturnCode::InProgress;
    WaitUntil("the camera's server to listen", waiting, report, [&] {
        hello = dock.SayHello();
        return hello != ReturnCode::InProgress;
    });
    if (!Required(report, report.Step("SayHello", hello, {ReturnCode::Ok}), missing)) {
        return outcome;
    }
    report.Step("SetWifiMac", dock.SetWifiMac(kWifiMac), {ReturnCode::Ok}, {{"mac", kWifiMac}});
    report.Step("SetSerialNumber", dock.SetSerialNumber(kSerialNumber), {ReturnCode::Ok},
                {{"serialNumber", kSerialNumber}});

    Dock::Result<Dock::AssociationInfo> association;
    int polls = 0;
    WaitUntil("the base's approval", waiting, report, [&] {
        association = dock.Associate();
        ++polls;
        return association.code == ReturnCode::Ok;
    });
    Values values = Describe(association.value);
    values.emplace_back("polls", std::to_string(polls));
    const bool associated = report.Step("Associate", association.code, {ReturnCode::Ok}, values);
    if (!Required(report, associated, [&] {
            const std::string lacking = missing();
            return lacking.empty()
                       ? "no approval from the base within " + std::to_string(options.timeout.count()) + " s"
                       : lacking;
        })) {
        return outcome;
    }
    outcome.associated = true;
    outcome.association = association.value;

    const auto server = dock.GetServerInfo();
    report.Step("GetServerInfo", server.code, {ReturnCode::Ok}, {{"serverInfo", Describe(server.value)}});
    outcome.server = server.value;
    return outcome;
}

// While docked: status reports, then the base's log through the pipe.
void StatusAndLog(Dock& dock, const tvo::DockSim::VeltaBase& base, const RoadOptions& options, RoadReport& report) {
    report.Step("SetUploadStatus", dock.SetUploadStatus(static_cast<Dock::UploadStatus>(1)), {ReturnCode::Ok},
                {{"UploadStatus", "1 (link status 3)"}});
    auto charge = dock.SetChargeStatusAsync(static_cast<Dock::ChargeStatus>(2));
    int polls = 0;
    bool done = false;
    std::string error;
    if (charge.handle) {
        try {
            while (!(done = charge.handle->IsDone()) && polls < 500) {
                ++polls;
                std::this_thread::sleep_for(10ms);
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    report.Step("SetChargeStatusAsync",
                charge.code == ReturnCode::InProgress && done ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok},
                {{"started", charge.code == ReturnCode::InProgress ? "InProgress, handle to poll" : "not started"},
                 {"polls until done", std::to_string(polls)},
                 {"error", error.empty() ? "none" : error}});

    const auto& setup = base.Setup();
    const std::uintmax_t logSize = std::filesystem::file_size(setup.baseLogFile);
    const std::uint32_t tick = tvo::DockSim::BaseLogTick(1000);
    ReturnCode ready = ReturnCode::InProgress;
    int requests = 0;
    while (ready == ReturnCode::InProgress && requests < 10) {
        ready = dock.RequestBaseLog(tick);
        ++requests;
    }
    report.Step("RequestBaseLog", ready, {ReturnCode::Ok},
                {{"tick", std::to_string(tick)}, {"requests", std::to_string(requests)}});

    const std::string pipe = base.Environment().velta.logPipe;
    const auto progress = [&](std::size_t bytes) {
        if (options.interactive) {
            report.Progress("log pipe: " + std::to_string(bytes / 1024) + " KiB read");
        }
    };
    // The camera's log collector: counts what arrives and keeps the first line.
    std::size_t bytes = 0;
    std::size_t shown = 0;
    std::string firstLine;
    tvo::FifoReader collector(pipe, [&](std::string_view piece) {
        if (firstLine.empty() || firstLine.back() != '\n') {
            firstLine += piece.substr(0, std::min(piece.find('\n') + 1, piece.size()));
        }
        bytes += piece.size();
        if (bytes - shown >= 512 * 1024) {
            shown = bytes;
            progress(bytes);
        }
        return true;
    });
    const auto started = std::chrono::steady_clock::now();
    const ReturnCode downloaded = dock.DownloadBaseLog(tick);
    collector.Finish();
    progress(bytes);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    const bool fromTick = firstLine.rfind(std::to_string(tick) + " ", 0) == 0;
    report.Step("DownloadBaseLog", downloaded == ReturnCode::Ok && fromTick ? downloaded : ReturnCode::Failed,
                {ReturnCode::Ok},
                {{"base log bytes", std::to_string(logSize)},
                 {"read from the pipe", std::to_string(bytes)},
                 {"first line", firstLine.substr(0, firstLine.find('\n'))},
                 {"milliseconds", std::to_string(ms.count())}});
}

void RunSimulated(const RoadOptions& options, RoadReport& report) {
    using namespace tvo::DockSim;
    // A private folder for the base's log and the camera's copies and pipe.
    const tvo::TempDir scratch;
    VeltaBaseSetup setup;
    setup.approveAfter = 2;  // so that the road shows the camera announcing again
    setup.baseLogFile = scratch.file("base-side.log").string();
    setup.cameraLogFolder = scratch.path().string();
    const std::size_t lines = GenerateBaseLog(setup.baseLogFile, 6 * 1024 * 1024);
    VeltaBase base(setup);
    report.Note("emulated Velta base on 127.0.0.1:" + std::to_string(base.Port()) +
                ", the camera's inbound server on 127.0.0.1:" + std::to_string(base.CameraPort()));
    Orders orders;  // outlives the dock, which calls into it
    tvo::DockProtoVelta camera(Recorded(options, base.Environment()));
    const Driven dock(options, camera);
    const Outcome outcome = Drive(*dock, orders, options, report, [] { return std::string(); });
    if (!outcome.associated) {
        return;
    }
    report.Note("base log: " + std::to_string(lines) + " lines, camera's copies and pipe in " +
                scratch.path().string());
    StatusAndLog(*dock, base, options, report);

    const Exchange order = base.SendShutdownNow();
    Shutdown::ShutdownType type{};
    const bool called = orders.WaitForShutdown(5s, type);
    report.Step("ShutdownOrder", called && order.reply == "Received" ? ReturnCode::Ok : ReturnCode::Failed,
                {ReturnCode::Ok},
                {{"camera's reply", order.error.empty() ? order.reply : order.error},
                 {"callback", called ? "called with ShutdownType " + std::to_string(type) : "not called"}});

    // What the camera received must be what the base granted and described.
    Values mismatches;
    if (!outcome.associated || outcome.association.ssid != setup.grant.ssid ||
        outcome.association.ipAddr != setup.grant.ipAddr || outcome.association.macId != setup.grant.macId) {
        mismatches.emplace_back("mismatch", "association differs from the base's grant");
    }
    if (outcome.server.roomDescription != setup.room || outcome.server.stationId != setup.station) {
        mismatches.emplace_back("mismatch", "room or station differs from the base's");
    }
    report.Step("BaseAgrees", mismatches.empty() ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok}, mismatches);
    for (const auto& exchange : base.Log()) {
        report.Note("base log: " + Describe(exchange, 0));
    }
}

}  // namespace

void RunVeltaRoad(const RoadOptions& options, RoadReport& report) {
    if (options.simulate) {
        RunSimulated(options, report);
        RunVeltaFirmwareStep(report);
        return;
    }
    Orders orders;  // outlives the dock, which calls into it
    // The factory's object, with the environment it would get.
    tvo::DockProtoVelta object(Recorded(options, tvo::ProtocolEnvironment::Production()));
    const Driven dock(options, object);
    const auto& velta = tvo::ProtocolEnvironment::Production().velta;
    report.Note("protocol object: " + std::string(dock->GetName()) + ", base " + velta.baseAddress + ":" +
                std::to_string(velta.basePort) + ", camera's server " + velta.listenAddress + ":" +
                std::to_string(velta.listenPort));
    Drive(*dock, orders, options, report, [&velta] { return MissingForVelta(velta, 2s); });
    report.Note("shutdown orders received from the base: " + std::to_string(orders.Count()));
}

}  // namespace dockhost
