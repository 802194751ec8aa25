#pragma once
// The camera host that dockhost plays on an Oskin dock: it answers the
// base's questions from a small file the user gives, and counts what the
// base asked, so that a person can try a real base without a camera.
//
// File format, one setting per line, '#' starts a comment:
//   config_uri  = http://192.0.2.10/camera/config.json
//   provisioned = true            (or false)
//   tenant_id   = 6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b
//   capability  = video resolution=1080p fps=30
//   capability  = gps             (repeatable; in the order given)

#include <DockProtocol/OskinDockCallbackIF.h>

#include <istream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace dockhost {

struct OskinCameraSettings {
    std::string configUri = "http://127.0.0.1/camera/config.json";
    bool provisioned = true;
    std::string tenantId = "6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b";
    std::vector<tvo::OskinDockCallbackIF::Capability> capabilities{{"video", {{"resolution", "1080p"}}}, {"gps", {}}};
};

// Throws std::runtime_error naming the line when a line cannot be read.
OskinCameraSettings ReadOskinCameraSettings(std::istream& in);
OskinCameraSettings ReadOskinCameraSettingsFile(const std::string& path);

class OskinCameraHost : public tvo::OskinDockCallbackIF {
public:
    explicit OskinCameraHost(OskinCameraSettings settings);

    void OnConnectionReady() override;
    std::string GetCameraConfigUri() override;
    std::vector<Capability> GetCameraCapabilities() override;
    bool IsUsbDeviceProvisioned() override;
    ProvisioningStatus GetProvisioningStatus() override;

    const OskinCameraSettings& Settings() const { return settings; }
    // How often the base asked each question, by call-back name.
    std::map<std::string, int> Calls() const;

private:
    const OskinCameraSettings settings;
    mutable std::mutex mutex;
    std::map<std::string, int> calls;

    void Count(const char* name);
};

}  // namespace dockhost
