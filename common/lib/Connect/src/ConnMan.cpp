#include "Connect/ConnMan.h"

#include "Logger/LogClient.h"

#include <net/if.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tvo::connman {
namespace {

bool IsPlainFileName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos &&
           name != ".";
}

void PruneOne(std::string_view name, const Settings& settings) {
    if (!IsPlainFileName(name)) {
        PMX_LOG(LogLevel::Warning, kLogCategoryDock)
            << "refusing to prune provisioning file '" << name << "': not a plain file name";
        return;
    }
    const std::filesystem::path path = std::filesystem::path(settings.provisioningDir) / name;
    std::error_code error;
    if (std::filesystem::remove(path, error)) {
        PMX_LOG(LogLevel::Info, kLogCategoryDock) << "removed provisioning file " << path.string();
    } else if (error) {
        PMX_LOG(LogLevel::Warning, kLogCategoryDock)
            << "cannot remove provisioning file " << path.string() << ": " << error.message();
    }
}

ToggleResult Fail(std::string error) {
    PMX_LOG(LogLevel::Error, kLogCategoryDock) << error;
    return {false, std::move(error)};
}

ToggleResult ToggleInterface(const std::string& name, bool enable, const Settings& settings) {
    if (name.empty() || name.size() >= IFNAMSIZ) {
        return Fail("'" + name + "': invalid interface name");
    }
    std::unique_ptr<LinuxApiIF> api = settings.makeLinuxApi ? settings.makeLinuxApi() : nullptr;
    if (!api) {
        return Fail(name + ": no system call interface");
    }
    const FileDescriptor socket = OpenIoctlSocket();
    if (!socket.IsOpen()) {
        // GCOVR_EXCL_START: only a process out of descriptors gets here
        return Fail(name + ": cannot open ioctl socket");
        // GCOVR_EXCL_STOP
    }
    ifreq req{};
    std::memcpy(req.ifr_name, name.data(), name.size());
    if (api->ioctl(socket.Get(), SIOCGIFFLAGS, reinterpret_cast<char*>(&req)) != 0) {
        const int error = errno;
        return Fail(error == ENODEV ? name + ": no such interface"
                                    : name + ": SIOCGIFFLAGS failed: " + std::strerror(error));
    }
    const bool isUp = (req.ifr_flags & IFF_UP) != 0;
    if (isUp == enable) {
        PMX_LOG(LogLevel::Detail, kLogCategoryDock) << name << " already " << (enable ? "up" : "down");
        return {true, {}};
    }
    req.ifr_flags = static_cast<short>(enable ? req.ifr_flags | IFF_UP : req.ifr_flags & ~IFF_UP);
    if (api->ioctl(socket.Get(), SIOCSIFFLAGS, reinterpret_cast<char*>(&req)) != 0) {
        const int error = errno;
        return Fail(name + ": SIOCSIFFLAGS failed: " + std::strerror(error));
    }
    PMX_LOG(LogLevel::Info, kLogCategoryDock) << name << (enable ? " brought up" : " taken down");
    return {true, {}};
}

}  // namespace

void PruneProvisionFile(std::string_view a, std::string_view b, const Settings& settings) {
    try {
        PruneOne(a, settings);
        PruneOne(b, settings);
    } catch (const std::exception& error) {
        // GCOVR_EXCL_START: only an allocation failure gets here
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "pruning provisioning files failed: " << error.what();
        // GCOVR_EXCL_STOP
    }
}

ToggleResult ToggleConnection(ConnectionType type, bool enable, const Settings& settings) {
    if (type != ConnectionType::UsbGadget) {
        return Fail("connection type " + std::to_string(static_cast<int>(type)) + " not handled");
    }
    return ToggleInterface(settings.gadgetInterface, enable, settings);
}

}  // namespace tvo::connman
