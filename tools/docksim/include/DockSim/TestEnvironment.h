#pragma once
// Where every environment of a test or a simulator starts: each file lies in
// the given folder, each endpoint is loopback, the interfaces have names no
// machine has and the connection manager is never called. A field that a
// test forgets can then never reach the camera's own files, links or docks,
// as it could when tests started from the production setting.

#include <DockProtocol/ProtocolEnvironment.h>

#include <memory>
#include <string>

namespace tvo {
class TempDir;
}

namespace tvo::DockSim {

// Interface names that exist on no machine (at most 15 characters).
inline constexpr const char* kTestGadgetInterface = "pmxtest-usb0";
inline constexpr const char* kTestEthernetInterface = "pmxtest-eth0";

ProtocolEnvironment TestEnvironment(const std::string& folder);

// A folder of its own for a simulator's environment, removed with the last
// environment or simulator that holds it.
std::shared_ptr<TempDir> MakeEnvironmentFolder();

}  // namespace tvo::DockSim
