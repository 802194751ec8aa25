#pragma once
// Each dock kind adds its subcommands to the docksim command line. A command
// leaves its exit status in the given integer.

#include <CLI/CLI.hpp>

namespace tvo::DockSim {

void AddDravoCommands(CLI::App& app, int& status);
void AddVeltaCommands(CLI::App& app, int& status);
void AddVeltaFirmwareCommands(CLI::App& app, int& status);
void AddPallixCommands(CLI::App& app, int& status);
void AddOskinCommands(CLI::App& app, int& status);
void AddReplayCommands(CLI::App& app, int& status);

}  // namespace tvo::DockSim
