// docksim replay: the dock's side of a recorded road, played over real
// sockets against a camera in another process.

#include "Commands.h"

#include <Recording/DockReplay.h>
#include <Recording/Recording.h>

#include <iostream>
#include <memory>

namespace tvo::DockSim {
namespace {

struct ReplayCommandOptions {
    std::string file;
    Recording::DockReplayOptions play;
    double seconds = 60;
};

// 0: everything agreed, 1: a difference (or the dock could not be played),
// 3: the recording cannot be read.
int Run(const ReplayCommandOptions& options) {
    const auto recording = Recording::Read(options.file);
    if (recording.header.version == 0) {
        std::cerr << "docksim replay: "
                  << (recording.problems.empty() ? "cannot read " + options.file : recording.problems.front()) << '\n';
        return 3;
    }
    auto play = options.play;
    play.limit = std::chrono::milliseconds(static_cast<long long>(options.seconds * 1000));
    const auto result = Recording::PlayDock(recording, play, std::cout);
    if (!result.failure.empty()) {
        return 1;
    }
    if (!result.differences.empty()) {
        std::cout << "first difference: " << result.differences.front() << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

void AddReplayCommands(CLI::App& app, int& status) {
    auto options = std::make_shared<ReplayCommandOptions>();
    auto* command = app.add_subcommand("replay", "play the dock's side of a road recording against a camera");
    command->add_option("FILE", options->file, "the recording (dockhost road --record FILE)")->required();
    command->add_option("--listen", options->play.listen,
                        "IPv4 ADDR:PORT the recorded base or agent serves on (default: the base on 127.0.0.1:55006, "
                        "the agent on 127.0.0.1 at its hello's port; port 0: that port or a free one)");
    command->add_option("--camera", options->play.camera, "the camera's server, ADDR:PORT or [ADDR]:PORT")
        ->capture_default_str();
    command->add_option("--to", options->play.to, "numeric address the Pallix hellos go to")->capture_default_str();
    command->add_option("--discovery-port", options->play.discoveryPort, "the camera's Pallix discovery port")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str();
    command->add_option("--image-out", options->play.imageOut, "Dravo: write the adapter's EEPROM image here");
    command->add_option("--seconds", options->seconds, "bounds the whole run")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    command->callback([&status, options] { status = Run(*options); });
}

}  // namespace tvo::DockSim
