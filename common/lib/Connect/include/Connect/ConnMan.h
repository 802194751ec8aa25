#pragma once
// Control of the camera's network connections.

#include <Connect/Export.h>
#include "Common/LinuxApi.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvo::connman {

enum class ConnectionType : int { Ethernet = 1, Wifi = 2, Bluetooth = 3, UsbGadget = 4 };

struct PMX_CONNECT_API ToggleResult {
    bool success = false;
    std::string error;  // why it failed; empty on success
};

// Replaceable for tests; the defaults are the production system.
struct PMX_CONNECT_API Settings {
    std::string provisioningDir = "/var/lib/connman";
    std::string gadgetInterface = "usb0";
    std::function<std::unique_ptr<LinuxApiIF>()> makeLinuxApi = LinuxApi;
};

// Removes the provisioning files a and b from the provisioning directory when
// present, so stale settings cannot reconfigure a link about to be brought
// up. Names must be plain file names (no '/', no ".."). Logs, never throws.
PMX_CONNECT_API void PruneProvisionFile(std::string_view a, std::string_view b, const Settings& settings = Settings{});

// Brings the connection up (enable) or down. Only the USB gadget link is
// handled: its interface's IFF_UP flag is set or cleared, and left alone when
// it is already as requested.
PMX_CONNECT_API ToggleResult ToggleConnection(ConnectionType type, bool enable, const Settings& settings = Settings{});

}  // namespace tvo::connman
