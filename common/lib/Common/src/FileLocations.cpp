#include "Common/FileLocations.h"

namespace tvo {

std::string ConfigFile() {
    return "/etc/camera/camera.conf";
}

std::string EnableMQTTSupportFile() {
    return "/etc/camera/enable_mqtt";
}

std::string GetVeltaFirmwareUpgradeValidFile() {
    return "/data/scratch/velta_fw_valid";
}

std::string kpbaseUpgradePkgVersionFile() {
    return "/data/scratch/velta_fw_version";
}

std::string TmpVeltaLogFile() {
    return "/tmp/veltalog.txt";
}

std::string TmpTrimmedVeltaLogFile() {
    return "/tmp/veltalog_trimmed.txt";
}

std::string CameraVersionFile() {
    return "/etc/camera/version";
}

}  // namespace tvo
