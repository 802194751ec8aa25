#include "OskinCameraHost.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dockhost {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

tvo::OskinDockCallbackIF::Capability ParseCapability(const std::string& value, int line) {
    std::istringstream words(value);
    tvo::OskinDockCallbackIF::Capability capability;
    if (!(words >> capability.name)) {
        throw std::runtime_error("line " + std::to_string(line) + ": capability without a name");
    }
    std::string option;
    while (words >> option) {
        const auto equals = option.find('=');
        if (equals == std::string::npos || equals == 0) {
            throw std::runtime_error("line " + std::to_string(line) + ": option '" + option + "' is not key=value");
        }
        capability.options[option.substr(0, equals)] = option.substr(equals + 1);
    }
    return capability;
}

}  // namespace

OskinCameraSettings ReadOskinCameraSettings(std::istream& in) {
    OskinCameraSettings settings;
    bool capabilitiesGiven = false;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        text = Trimmed(text.substr(0, text.find('#')));
        if (text.empty()) {
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos) {
            throw std::runtime_error("line " + std::to_string(line) + ": expected key = value");
        }
        const std::string key = Trimmed(text.substr(0, equals));
        const std::string value = Trimmed(text.substr(equals + 1));
        if (key == "config_uri") {
            settings.configUri = value;
        } else if (key == "provisioned") {
            if (value != "true" && value != "false") {
                throw std::runtime_error("line " + std::to_string(line) + ": provisioned is true or false");
            }
            settings.provisioned = value == "true";
        } else if (key == "tenant_id") {
            settings.tenantId = value;
        } else if (key == "capability") {
            if (!capabilitiesGiven) {
                settings.capabilities.clear();  // the file's list replaces the built-in one
                capabilitiesGiven = true;
            }
            settings.capabilities.push_back(ParseCapability(value, line));
        } else {
            throw std::runtime_error("line " + std::to_string(line) + ": unknown key '" + key + "'");
        }
    }
    return settings;
}

OskinCameraSettings ReadOskinCameraSettingsFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read camera configuration '" + path + "'");
    }
    try {
        return ReadOskinCameraSettings(in);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

OskinCameraHost::OskinCameraHost(OskinCameraSettings chosen) : settings(std::move(chosen)) {}

void OskinCameraHost::Count(const char* name) {
    std::lock_guard<std::mutex> lock(mutex);
    ++calls[name];
}

std::map<std::string, int> OskinCameraHost::Calls() const {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
}

void OskinCameraHost::OnConnectionReady() {
    Count("OnConnectionReady");
}

std::string OskinCameraHost::GetCameraConfigUri() {
    Count("GetCameraConfigUri");
    return settings.configUri;
}

std::vector<tvo::OskinDockCallbackIF::Capability> OskinCameraHost::GetCameraCapabilities() {
    Count("GetCameraCapabilities");
    return settings.capabilities;
}

bool OskinCameraHost::IsUsbDeviceProvisioned() {
    Count("IsUsbDeviceProvisioned");
    return settings.provisioned;
}

tvo::OskinDockCallbackIF::ProvisioningStatus OskinCameraHost::GetProvisioningStatus() {
    Count("GetProvisioningStatus");
    return {settings.provisioned, settings.provisioned ? "provisioned" : "not provisioned", settings.tenantId};
}

}  // namespace dockhost
