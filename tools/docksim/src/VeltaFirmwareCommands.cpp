// docksim velta-firmware: the Velta base asks a camera for its dock firmware
// package version, the package and the camera configuration, and says what
// is wrong with each answer. With --own-camera it brings a camera of its own,
// its firmware area in a temporary folder, so that the whole exchange can be
// seen without a device.

#include "Commands.h"

#include <DockProtocol/DockProtoVelta.h>
#include <DockSim/VeltaBaseFirmware.h>

#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>

namespace tvo::DockSim {
namespace {

struct FirmwareOptions {
    std::string camera = "192.168.99.2:55006";
    bool ownCamera = false;
    std::string fwType = "velta";
    std::string msgType = "get_camera_config";
    bool withoutZip = false;
};

std::pair<std::string, int> CameraEndpoint(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon != std::string::npos && colon > 0 && colon + 1 < text.size() &&
        text.find_first_not_of("0123456789", colon + 1) == std::string::npos && text.size() - colon <= 6) {
        const int port = std::stoi(text.substr(colon + 1));
        if (port > 0 && port <= 65535) {
            return {text.substr(0, colon), port};
        }
    }
    throw std::invalid_argument("bad camera address '" + text + "' (HOST:PORT, an IPv4 address)");
}

int Run(const FirmwareOptions& options) {
    VeltaBaseSetup setup;
    if (options.ownCamera) {
        setup.cameraAddress = "127.0.0.1";
        setup.cameraPort = 0;
    } else {
        std::tie(setup.cameraAddress, setup.cameraPort) = CameraEndpoint(options.camera);
    }
    VeltaBase base(setup);

    std::optional<FirmwareArea> area;
    std::unique_ptr<DockProtoVelta> camera;
    if (options.ownCamera) {
        FirmwareAreaSetup files;
        files.zipPackage = !options.withoutZip;
        area.emplace(files);
        ProtocolEnvironment environment = base.Environment();
        area->Apply(environment.files);
        camera = std::make_unique<DockProtoVelta>(environment);
        if (camera->SayHello() != DockProtoIF::ReturnCode::Ok) {
            std::cerr << "docksim velta-firmware: the camera's server did not start\n";
            return 1;
        }
        std::cout << "camera's firmware area: " << area->Folder() << std::endl;
    }

    int problems = 0;
    for (const FirmwareAnswer& answer : {AskUpgradePkgVersion(base, options.fwType),
                                         AskUpgradePkg(base, options.fwType), AskCameraConfig(base, options.msgType)}) {
        std::cout << Describe(answer) << std::endl;
        problems += answer.Sound() ? 0 : 1;
    }
    std::cout << problems << " answer(s) with problems" << std::endl;
    return problems == 0 ? 0 : 1;
}

}  // namespace

void AddVeltaFirmwareCommands(CLI::App& app, int& status) {
    auto options = std::make_shared<FirmwareOptions>();
    auto* command = app.add_subcommand("velta-firmware",
                                       "the Velta base asks a camera for the firmware package and configuration, once");
    command->add_option("--camera", options->camera, "the camera's inbound server, HOST:PORT")->capture_default_str();
    command->add_flag("--own-camera", options->ownCamera,
                      "ask a camera started here, with its files in a temporary folder");
    command->add_flag("--without-zip", options->withoutZip,
                      "with --own-camera: no zip package, so the camera answers \"File not found\" and cleans up");
    command->add_option("--fw-type", options->fwType, "firmware type asked for")->capture_default_str();
    command->add_option("--msg-type", options->msgType, "msg_type of the configuration request")->capture_default_str();
    command->callback([options, &status] {
        try {
            status = Run(*options);
        } catch (const std::exception& error) {
            std::cerr << "docksim velta-firmware: " << error.what() << '\n';
            status = 1;
        }
    });
}

}  // namespace tvo::DockSim
