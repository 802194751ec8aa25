#pragma once
// The environment of the fuzz targets' protocol objects: loopback endpoints,
// every file in the run's scratch folder, and a connection manager that is
// never called, so that no input can reach the machine's own files or links.

#include "FuzzSupport.h"

#include <DockProtocol/ProtocolEnvironment.h>

namespace tvo::fuzz {

inline ProtocolEnvironment ScratchEnvironment() {
    const auto& dir = ScratchDir();
    ProtocolEnvironment made;
    made.velta.baseAddress = "127.0.0.1";
    made.velta.listenAddress = "127.0.0.1";
    made.velta.logPipe = dir.file("logpipe");
    made.oskin.listenAddress = "127.0.0.1";
    made.pallix.hostsFile = dir.file("hosts");
    made.files.configFile = dir.file("camera.cfg");
    made.files.mqttSupportMarker = dir.file("mqtt.enabled");
    made.files.firmwareValidMarker = dir.file("firmware.valid");
    made.files.firmwareVersionFile = dir.file("firmware.version");
    made.files.baseLogCopy = dir.file("base.log");
    made.files.trimmedBaseLogCopy = dir.file("base.trimmed.log");
    made.system.pruneProvisionFile = [](std::string_view, std::string_view) {};
    made.system.toggleConnection = [](connman::ConnectionType, bool) { return connman::ToggleResult{}; };
    return made;
}

}  // namespace tvo::fuzz
