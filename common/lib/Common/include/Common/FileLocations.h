#pragma once
// Where the platform keeps the files this code reads and writes.

#include <Common/Export.h>
#include <string>

namespace tvo {

// Camera configuration handed to the dock on request.
PMX_COMMON_API std::string ConfigFile();  // /etc/camera/camera.conf
// Present when the camera accepts MQTT settings from the dock.
PMX_COMMON_API std::string EnableMQTTSupportFile();  // /etc/camera/enable_mqtt
// Marks a downloaded dock firmware package as complete and checked.
PMX_COMMON_API std::string GetVeltaFirmwareUpgradeValidFile();  // /data/scratch/velta_fw_valid
// Version file of the dock firmware package held by the camera.
PMX_COMMON_API std::string kpbaseUpgradePkgVersionFile();  // /data/scratch/velta_fw_version
// Dock log as downloaded.
PMX_COMMON_API std::string TmpVeltaLogFile();  // /tmp/veltalog.txt
// Dock log from the requested tick on.
PMX_COMMON_API std::string TmpTrimmedVeltaLogFile();  // /tmp/veltalog_trimmed.txt
// The camera's own version file (key=value lines).
PMX_COMMON_API std::string CameraVersionFile();  // /etc/camera/version

}  // namespace tvo
