#include "Roads.h"

#include <DockProtocol/DockProtocol.h>
#include <DockSim/VeltaBase.h>

#include <chrono>
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
// emulated base, at a real host's pace against a real one.
Outcome Drive(Dock& dock, Orders& orders, const RoadOptions& options, RoadReport& report) {
    Outcome outcome;
    dock.SetShutdownCallback([&orders](Shutdown::ShutdownType type) { orders.Shutdown(type); });
    report.Step("SayHello", dock.SayHello(), {ReturnCode::Ok});
    report.Step("SetWifiMac", dock.SetWifiMac(kWifiMac), {ReturnCode::Ok}, {{"mac", kWifiMac}});
    report.Step("SetSerialNumber", dock.SetSerialNumber(kSerialNumber), {ReturnCode::Ok},
                {{"serialNumber", kSerialNumber}});

    const auto pause = options.simulate ? 20ms : 500ms;
    const int limit = options.simulate ? 250 : 120;
    Dock::Result<Dock::AssociationInfo> association;
    int polls = 0;
    while (polls < limit) {
        association = dock.Associate();
        ++polls;
        if (association.code == ReturnCode::Ok) {
            break;
        }
        if (options.interactive) {
            report.Progress("waiting for the base's approval, poll " + std::to_string(polls));
        }
        std::this_thread::sleep_for(pause);
    }
    Values values = Describe(association.value);
    values.emplace_back("polls", std::to_string(polls));
    report.Step("Associate", association.code, {ReturnCode::Ok}, values);
    outcome.associated = association.code == ReturnCode::Ok;
    outcome.association = association.value;

    const auto server = dock.GetServerInfo();
    report.Step("GetServerInfo", server.code, {ReturnCode::Ok}, {{"serverInfo", Describe(server.value)}});
    outcome.server = server.value;
    return outcome;
}

void RunSimulated(const RoadOptions& options, RoadReport& report) {
    using namespace tvo::DockSim;
    VeltaBaseSetup setup;
    setup.approveAfter = 2;  // so that the road shows the camera announcing again
    VeltaBase base(setup);
    report.Note("emulated Velta base on 127.0.0.1:" + std::to_string(base.Port()) +
                ", the camera's inbound server on 127.0.0.1:" + std::to_string(base.CameraPort()));
    Orders orders;  // outlives the dock, which calls into it
    tvo::DockProtoVelta dock(base.Environment());
    const Outcome outcome = Drive(dock, orders, options, report);

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
    report.Step("BaseAgrees", mismatches.empty() ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok},
                mismatches);
    for (const auto& exchange : base.Log()) {
        report.Note("base log: " + Describe(exchange, 0));
    }
}

}  // namespace

void RunVeltaRoad(const RoadOptions& options, RoadReport& report) {
    if (options.simulate) {
        RunSimulated(options, report);
        return;
    }
    Orders orders;  // outlives the dock, which calls into it
    auto dock = tvo::InterfaceFactory::Create<Dock, std::string_view, tvo::DockCallbackIF*>("Velta", "", nullptr);
    const auto& velta = tvo::ProtocolEnvironment::Production().velta;
    report.Note("protocol object: " + std::string(dock->GetName()) + ", base " + velta.baseAddress + ":" +
                std::to_string(velta.basePort) + ", camera's server " + velta.listenAddress + ":" +
                std::to_string(velta.listenPort));
    Drive(*dock, orders, options, report);
    report.Note("shutdown orders received from the base: " + std::to_string(orders.Count()));
}

}  // namespace dockhost
