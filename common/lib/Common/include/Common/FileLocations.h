#pragma once
// Where the platform keeps the files this code reads and writes.

#include <string>

namespace tvo {

// Camera configuration handed to the dock on request.
std::string ConfigFile();  // /etc/camera/camera.conf
// Present when the camera accepts MQTT settings from the dock.
std::string EnableMQTTSupportFile();  // /etc/camera/enable_mqtt
// Marks a downloaded dock firmware package as complete and checked.
std::string GetVeltaFirmwareUpgradeValidFile();  // /data/scratch/velta_fw_valid
// Version file of the dock firmware package held by the camera.
std::string kpbaseUpgradePkgVersionFile();  // /data/scratch/velta_fw_version
// Dock log as downloaded.
std::string TmpVeltaLogFile();  // /tmp/veltalog.txt
// Dock log from the requested tick on.
std::string TmpTrimmedVeltaLogFile();  // /tmp/veltalog_trimmed.txt
// The camera's own version file (key=value lines).
std::string CameraVersionFile();  // /etc/camera/version

}  // namespace tvo
