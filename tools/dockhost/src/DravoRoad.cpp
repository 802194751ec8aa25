#include "LinkCheck.h"
#include "RoadWait.h"
#include "Roads.h"

#include <DockProtocol/DockProtocol.h>
#include <DockSim/DravoCradle.h>

#include <chrono>

namespace dockhost {
namespace {

using Dock = tvo::DockProtoIF;
using tvo::DockSim::DravoChip;

struct Outcome {
    Dock::NetworkConfig network;
    Dock::ServerInfo server;
    std::uint32_t fault = 0;
};

// Blocks taken in so far, when the object is the Dravo protocol.
std::string BlocksDone(const tvo::DockProtoDravo* dravo) {
    if (!dravo) {
        return "?";
    }
    return std::to_string(dravo->GetEeprom().GetBlockProto().GetCurrentBlock());
}

Outcome Drive(tvo::DockProtoDravo& object, const RoadOptions& options, RoadReport& report, bool writes,
              const std::string& interfaceName) {
    Outcome outcome;
    const Driven driven(options, object);
    Dock& dock = *driven;
    const auto hello = dock.SayHello();
    report.Step("SayHello", hello, {ReturnCode::Ok, ReturnCode::InProgress});
    auto code = hello;
    if (hello == ReturnCode::InProgress) {
        int calls = 0;
        // A dock that keeps asking to resynchronise must not hold the road forever.
        while (code == ReturnCode::InProgress && calls < 100 && !Interrupted()) {
            if (options.interactive) {
                report.Progress("blocks done: " + BlocksDone(&object) + " of 6");
            }
            code = dock.BlockProtocol();
            ++calls;
        }
        report.Step("BlockProtocol", code, {ReturnCode::Ok},
                    {{"calls", std::to_string(calls)}, {"blocks", BlocksDone(&object)}});
    } else if (hello == ReturnCode::Ok) {
        report.Note("whole image read: no block transfer");
    }
    // An adapter that gave no configuration may be no cradle's at all.
    if (!Required(report, code == ReturnCode::Ok, [&] {
            const std::string lacking = options.simulate ? std::string() : MissingAdapter(interfaceName);
            return lacking.empty() ? "no configuration from the cradle" : lacking;
        })) {
        return outcome;
    }
    const auto network = dock.ProvisionNetwork();
    report.Step("ProvisionNetwork", network.code, {ReturnCode::Ok}, Describe(network.value));
    const auto server = dock.GetServerInfo();
    report.Step("GetServerInfo", server.code, {ReturnCode::Ok}, {{"serverInfo", Describe(server.value)}});
    if (writes) {
        report.Step("SetUploadStatus", dock.SetUploadStatus(Dock::UploadStatus::Uploading), {ReturnCode::Ok});
        report.Step("SetChargeStatus", dock.SetChargeStatus(Dock::ChargeStatus::Charging), {ReturnCode::Ok});
    } else {
        report.Note("status writes skipped: --allow-writes lets them change the adapter");
    }
    const auto fault = dock.GetChargeFault();
    report.Step("GetChargeFault", fault.code, {ReturnCode::Ok}, {{"fault", std::to_string(fault.value)}});
    const auto check = dock.CheckNetwork();
    report.Step("CheckNetwork", check.code, {ReturnCode::Ok}, {{"value", std::to_string(check.value)}});
    outcome.network = network.value;
    outcome.server = server.value;
    outcome.fault = fault.value;
    return outcome;
}

void RunSimulated(DravoChip chip, const RoadOptions& options, RoadReport& report) {
    using namespace tvo::DockSim;
    const auto configuration = SampleDravoConfiguration(chip);
    auto setup = CradleSetupFor(configuration);
    // A dock that polls its EEPROM: the camera waits for most blocks.
    setup.reaction = std::chrono::milliseconds(100);
    DravoCradle cradle(setup);
    report.Note("emulated " + std::string(ChipName(chip)) + " cradle, slot " + std::to_string(configuration.slot));
    tvo::DockProtoDravo dock(Recorded(options, cradle.Environment()));
    const Outcome outcome = Drive(dock, options, report, true, "");

    // What the camera reported must be what the image builder put in, and
    // the status writes must have reached the cradle.
    auto mismatches = DravoMismatches(configuration, setup.mac, outcome.network, outcome.server);
    if (outcome.fault != configuration.chargeFault) {
        mismatches.push_back("charge fault: camera " + std::to_string(outcome.fault) + ", configured " +
                             std::to_string(configuration.chargeFault));
    }
    const auto& phyWrites = cradle.Adapter().PhyWrites();
    const std::uint16_t led = chip == DravoChip::Ax88179 ? 0x89A2 : 0x0EEA;
    if (phyWrites.empty() || phyWrites.back().value != led) {
        mismatches.push_back("upload status did not reach the adapter's PHY");
    }
    const std::size_t statusByte = chip == DravoChip::Ax88179 ? 0x76 : 0x71;
    if (cradle.Adapter().Eeprom()[statusByte] != static_cast<unsigned char>(Dock::ChargeStatus::Charging)) {
        mismatches.push_back("charge status did not reach the adapter's EEPROM");
    }
    Values values;
    for (const auto& mismatch : mismatches) {
        values.emplace_back("mismatch", mismatch);
    }
    report.Step("ConfigurationMatches", mismatches.empty() ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok},
                values);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(cradle.Clock().Slept());
    report.Note("virtual time waited: " + std::to_string(waited.count()) + " ms");
}

}  // namespace

void RunDravoRoad(const RoadOptions& options, RoadReport& report) {
    if (!options.simulate) {
        // The factory's object, with the environment it would get.
        tvo::DockProtoDravo dock(Recorded(options, tvo::ProtocolEnvironment::Production()));
        const std::string& interfaceName = tvo::ProtocolEnvironment::Production().dravo.interfaceName;
        report.Note("protocol object: " + std::string(dock.GetName()) + " on the real \"" + interfaceName + "\"");
        Drive(dock, options, report, options.allowWrites, interfaceName);
        return;
    }
    if (const auto chip = tvo::DockSim::ParseChip(options.chip)) {
        RunSimulated(*chip, options, report);
        return;
    }
    RunSimulated(DravoChip::Lan7850, options, report);
    RunSimulated(DravoChip::Ax88179, options, report);
}

}  // namespace dockhost
