#pragma once
// The Velta base's questions about the camera's dock firmware package and
// camera configuration, with a check of every answer, and a camera-side
// firmware area in a temporary folder for tests and simulations.

#include <DockSim/VeltaBase.h>

#include <memory>
#include <string>
#include <vector>

namespace tvo {
class TempDir;
struct FileEnvironment;
}  // namespace tvo

namespace tvo::DockSim {

// What the base learnt from one firmware or configuration request, and what
// it found wrong with the answer.
struct FirmwareAnswer {
    Exchange exchange;
    std::string version;  // of a version answer
    std::string result;   // of a location answer
    std::string uri;
    std::vector<std::string> problems;

    bool Sound() const { return problems.empty(); }
};

// Each sends one request and checks the answer's form: the record the base
// expects, a known result, a uri exactly when the result is "OK", and that
// the uri names a readable file (on loopback the base shares the camera's
// file system, so it can look).
FirmwareAnswer AskUpgradePkgVersion(VeltaBase& base, const std::string& fwType = "velta");
FirmwareAnswer AskUpgradePkg(VeltaBase& base, const std::string& fwType = "velta");
FirmwareAnswer AskCameraConfig(VeltaBase& base, const std::string& msgType = "get_camera_config");
// One line: the exchange, what was learnt and the problems found.
std::string Describe(const FirmwareAnswer& answer);

struct FirmwareAreaSetup {
    std::string version = "2.1.0";  // empty: the version file has no version line
    bool tarImage = true;           // false: a plain file instead of a tar archive
    bool image = true;
    bool zipPackage = true;
    bool validMarker = true;
    bool config = true;
};

// A fresh temporary folder holding a version file, the firmware image it
// names, the zip package beside it, the validation marker and a camera
// configuration, as the camera keeps them:
//   scratch/velta_fw_version, scratch/velta_fw_valid,
//   scratch/fw/velta-base-<version>.tar, scratch/tmp/fw/velta-base-<version with dashes>-tar.zip,
//   camera/camera.conf
// Throws std::runtime_error when the temporary folder's own path holds a dot
// or "scratch", which the zip naming would rewrite.
class FirmwareArea {
public:
    explicit FirmwareArea(FirmwareAreaSetup setup = {});
    ~FirmwareArea();  // removes the folder with everything in it
    FirmwareArea(const FirmwareArea&) = delete;
    FirmwareArea& operator=(const FirmwareArea&) = delete;

    // Points the camera's firmware and configuration files here.
    void Apply(FileEnvironment& files) const;

    std::string Folder() const;
    std::string VersionFile() const;
    std::string ValidMarker() const;
    std::string Image() const;
    std::string ZipPackage() const;
    std::string ConfigFile() const;

private:
    std::unique_ptr<TempDir> dir;
    std::string imageName;
    std::string zipName;
};

// A one-file ustar archive holding the text.
std::string TarArchive(const std::string& fileName, const std::string& content);

}  // namespace tvo::DockSim
