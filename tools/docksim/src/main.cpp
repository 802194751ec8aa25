// docksim: emulated docks and their data, for work without the hardware.

#include "Commands.h"

#include <HttpRest/HttpThreadPool.h>
#include <Logger/LogClient.h>

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"docksim: emulated docks and their data, for work without the hardware"};
    app.require_subcommand(1);
    // The protocol's information lines would drown the command's own output.
    tvo::LogClient::SetLevel(tvo::LogLevel::Warning);
    int status = 0;
    tvo::DockSim::AddDravoCommands(app, status);
    tvo::DockSim::AddVeltaCommands(app, status);
    tvo::DockSim::AddVeltaFirmwareCommands(app, status);
    tvo::DockSim::AddPallixCommands(app, status);
    tvo::DockSim::AddOskinCommands(app, status);
    tvo::DockSim::AddReplayCommands(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help asked for is no error; any bad command line exits 2.
        return app.exit(error) == 0 ? 0 : 2;
    } catch (const std::exception& error) {
        std::cerr << "docksim: " << error.what() << '\n';
        status = 1;
    }
    // Work still queued at exit would never be freed.
    tvo::DrainHttpThreadPool();
    return status;
}
