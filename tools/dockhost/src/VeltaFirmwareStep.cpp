// The last step of the simulated Velta road: the base asks the camera for the
// dock firmware package version, the package and the camera configuration.
// The camera's files live in a temporary folder; since a camera takes its
// file locations when it is made, this step brings its own camera and base.

#include "Roads.h"

#include <DockProtocol/DockProtoVelta.h>
#include <DockSim/VeltaBaseFirmware.h>

#include <exception>

namespace dockhost {

void RunVeltaFirmwareStep(RoadReport& report) {
    using namespace tvo::DockSim;
    Values values;
    bool sound = true;
    try {
        const FirmwareArea area;
        VeltaBaseSetup setup;
        setup.approval = ApprovalMode::Never;
        VeltaBase base(setup);
        tvo::ProtocolEnvironment environment = base.Environment();
        area.Apply(environment.files);
        tvo::DockProtoVelta camera(environment);
        report.Note("firmware area of a second camera (127.0.0.1:" + std::to_string(base.CameraPort()) +
                    "): " + area.Folder());
        if (camera.SayHello() != ReturnCode::Ok) {
            report.Step("BaseAsksForFirmware", ReturnCode::Failed, {ReturnCode::Ok},
                        {{"problem", "the camera's server did not start"}});
            return;
        }
        const FirmwareAnswer version = AskUpgradePkgVersion(base);
        const FirmwareAnswer package = AskUpgradePkg(base);
        const FirmwareAnswer config = AskCameraConfig(base);
        values = {{"version", version.version},
                  {"package", package.result + " " + package.uri},
                  {"configuration", config.result + " " + config.uri}};
        // The camera must offer what its files hold, and name exactly them.
        sound = version.Sound() && package.Sound() && config.Sound() && version.version == "2.1.0" &&
                package.uri == area.ZipPackage() && config.uri == area.ConfigFile();
        for (const FirmwareAnswer* answer : {&version, &package, &config}) {
            for (const auto& problem : answer->problems) {
                values.emplace_back("problem", answer->exchange.type + ": " + problem);
            }
        }
    } catch (const std::exception& error) {
        sound = false;
        values.emplace_back("problem", error.what());
    }
    report.Step("BaseAsksForFirmware", sound ? ReturnCode::Ok : ReturnCode::Failed, {ReturnCode::Ok}, values);
}

}  // namespace dockhost
