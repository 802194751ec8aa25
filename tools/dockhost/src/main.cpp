// dockhost: runs a dock's typical road against its simulator or a real dock.

#include "ReplayRoad.h"
#include "RoadWait.h"
#include "Roads.h"

#include <Recording/Draw.h>
#include <Recording/Recorder.h>

#include <HttpRest/HttpThreadPool.h>
#include <Logger/LogClient.h>

#include <CLI/CLI.hpp>

#include <iostream>
#include <unistd.h>

namespace {

int Demo(bool json) {
    int failed = 0;
    for (const auto& road : dockhost::Roads()) {
        if (!road.hasSimulator) {
            continue;
        }
        dockhost::RoadOptions options;
        options.dock = road.dock;
        options.simulate = true;
        options.json = json;
        failed += dockhost::RunRoad(options, std::cout) ? 0 : 1;
    }
    if (!json) {
        std::cout << (failed ? "demo: " + std::to_string(failed) + " road(s) failed\n"
                             : std::string("demo: every road passed\n"));
    }
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"dockhost: drive a camera dock through the docking library, step by step"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("dockhost ") + DOCKHOST_VERSION);

    std::string level = "warning";
    app.add_option("--log-level", level, "error, warning, info, detail or finest")->capture_default_str();

    dockhost::RoadOptions options;
    auto* road = app.add_subcommand("road", "run the typical road of one dock kind");
    std::string docks;
    for (const auto& known : dockhost::Roads()) {
        docks += (docks.empty() ? "" : ", ") + known.dock;
    }
    road->add_option("--dock", options.dock,
                     "dock kind (" + docks +
                         "; any other name gets the default protocol); with --replay, "
                         "the recorded kind when left out");
    road->add_flag("--simulate", options.simulate, "run against the dock's simulator on loopback");
    road->add_flag("--json", options.json, "one JSON object per line instead of text");
    road->add_option("--chip", options.chip, "Dravo adapter chip to simulate (default: both, one after the other)")
        ->check(CLI::IsMember({"ax88179", "lan7850"}));
    road->add_flag("--allow-writes", options.allowWrites,
                   "without --simulate: let status writes change the real adapter");
    road->add_option("--cancel-after", options.cancelAfterMs,
                     "Pallix: call Cancel from a second thread this many ms into GetServerInfo")
        ->check(CLI::Range(0, 60000));
    int timeoutSeconds = static_cast<int>(options.timeout.count());
    road->add_option("--timeout", timeoutSeconds,
                     "seconds each wait of the road may last (association, an Oskin base, the open request)")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    road->add_option("--camera-config", options.cameraConfig,
                     "Oskin: file with the host's answers (config_uri, provisioned, tenant_id, capability lines)")
        ->check(CLI::ExistingFile);

    std::string recordFile;
    std::string replayFile;
    bool redact = false;
    road->add_option("--record", recordFile,
                     "write everything that crosses the camera's edge into this file, one JSON object per line");
    road->add_flag("--redact", redact, "with --record: serial numbers, MAC addresses and tenant IDs as stand-ins");
    road->add_option("--replay", replayFile,
                     "run a recorded road against its recorded dock and compare each step with the recording")
        ->check(CLI::ExistingFile)
        ->excludes("--record", "--simulate");

    std::string drawInput;
    std::string drawOutput;
    bool drawHtml = false;
    auto* draw = app.add_subcommand("draw", "draw a road recording as a sequence diagram (SVG, or an HTML page)");
    draw->add_option("file", drawInput, "the recording")->required();
    draw->add_option("-o,--output", drawOutput, "the drawing to write (- for stdout)")->required();
    draw->add_flag("--html", drawHtml, "a self-contained page: click a message to see all of it");

    bool demoJson = false;
    auto* demo = app.add_subcommand("demo", "run every dock kind against its simulator");
    demo->add_flag("--json", demoJson, "one JSON object per line instead of text");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    tvo::LogLevel parsed{};
    if (!tvo::ParseLogLevel(level, parsed)) {
        std::cerr << "dockhost: unknown log level \"" << level << "\" (use error, warning, info, detail or finest)\n";
        return 2;
    }
    tvo::LogClient::SetLevel(parsed);

    dockhost::CatchInterrupt();
    int status = 3;
    try {
        if (*draw) {
            status = tvo::Recording::DrawCommand(drawInput, drawOutput, drawHtml, std::cerr);
        } else if (*road && !replayFile.empty()) {
            status = dockhost::ReplayRoad(replayFile, options.dock, options.json, std::cout) ? 0 : 1;
        } else if (*road) {
            if (options.dock.empty()) {
                std::cerr << "dockhost: road needs --dock (or --replay)\n";
                return 2;
            }
            options.timeout = std::chrono::seconds(timeoutSeconds);
            options.interactive = isatty(STDOUT_FILENO) && !options.json;
            if (!recordFile.empty()) {
                options.recorder = std::make_shared<tvo::Recording::Recorder>(
                    recordFile, tvo::Recording::RecorderOptions{options.dock, options.simulate, redact,
                                                                std::string("dockhost ") + DOCKHOST_VERSION});
            }
            status = dockhost::RunRoad(options, std::cout) ? 0 : 1;
            std::string error;
            if (options.recorder && !options.recorder->Finish(error)) {
                std::cerr << "dockhost: " << error << '\n';
                status = 3;
            }
        } else {
            status = Demo(demoJson);
        }
    } catch (const std::exception& error) {
        std::cerr << "dockhost: " << error.what() << '\n';
    }
    // Work still queued at exit would never be freed.
    tvo::DrainHttpThreadPool();
    // The road's objects are gone by now, their servers closed.
    return dockhost::Interrupted() ? 130 : status;
}
