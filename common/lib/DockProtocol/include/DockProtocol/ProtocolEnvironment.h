#pragma once
// Everything a protocol object reaches outside itself: interfaces, endpoints,
// file paths, the ioctl seam, the connection manager and the clock. The default
// value is the camera's production setting; tests, simulators and
// `dockhost --simulate` hand a protocol object a copy pointed at loopback,
// temporary folders and a fake clock.

#include <DockProtocol/Export.h>
#include <Common/LinuxApi.h>
#include <Connect/ConnMan.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvo {

// Sleeps the whole interval, resuming after signals.
PMX_DOCKPROTOCOL_API void SleepFor(std::chrono::nanoseconds interval);

struct PMX_DOCKPROTOCOL_API SystemEnvironment {
    std::function<std::unique_ptr<LinuxApiIF>()> makeLinuxApi = LinuxApi;
    // The handle that interface ioctls go through.
    std::function<FileDescriptor()> openIoctlSocket = OpenIoctlSocket;
    std::function<void(std::chrono::nanoseconds)> sleep = SleepFor;
    std::function<std::vector<std::byte>(std::string_view)> interfaceMac;
    std::function<bool(std::string_view)> interfaceUp;
    std::function<std::string(std::string_view)> interfaceIp;
    std::function<void(std::string_view, std::string_view)> pruneProvisionFile;
    std::function<connman::ToggleResult(connman::ConnectionType, bool)> toggleConnection;

    SystemEnvironment();  // fills the functions with the real system calls
};

// What an inbound server grants the dock: the time for a request's headers
// and for its body, and for an idle keep-alive connection.
struct PMX_DOCKPROTOCOL_API InboundLimits {
    std::chrono::milliseconds headerTimeout{10000};
    std::chrono::milliseconds bodyTimeout{30000};
    std::chrono::milliseconds idleTimeout{30000};
};

struct PMX_DOCKPROTOCOL_API DravoEnvironment {
    std::string interfaceName = "eth0";
};

struct PMX_DOCKPROTOCOL_API VeltaEnvironment {
    std::string baseAddress = "192.168.99.1";
    int basePort = 55006;
    std::string listenAddress = "192.168.99.2";
    int listenPort = 55006;
    std::string path = "UsbRest/1.0";
    std::string gadgetInterface = "usb0";
    std::string logPipe = "/tmp/wifilogpipe";
    // Time limit of each version request of SayHello.
    std::chrono::milliseconds helloTimeout{3000};
    // Announcement, server information and status reports; 0 is the HTTP
    // client's own limit.
    std::chrono::milliseconds requestTimeout{0};
    // The base's answer whether its log is ready.
    std::chrono::milliseconds logRequestTimeout{2000};
    // Download of the base's log; 0 is the HTTP client's own limit.
    std::chrono::milliseconds logDownloadTimeout{0};
    InboundLimits inbound;
    // The base's log lands in RAM (/tmp): a larger one is refused.
    std::size_t logDownloadLimit = 64 * 1024 * 1024;
};

struct PMX_DOCKPROTOCOL_API OskinEnvironment {
    std::string listenAddress = "127.0.0.1";
    int port = 55006;
    std::string path = "api/";
    std::string gadgetInterface = "usb0";
    InboundLimits inbound;
};

struct PMX_DOCKPROTOCOL_API PallixEnvironment {
    std::string interfaceName = "usb0";
    std::uint16_t discoveryPort = 9009;
    std::string hostsFile = "/etc/hosts";
    std::string dockHostName = "pallix-dock.local";
    std::string proxyHostName = "pallix-proxy.local";
    std::string dnsResolver = "8.8.8.8";
};

// Platform files; defaults come from the sibling file-location functions.
struct PMX_DOCKPROTOCOL_API FileEnvironment {
    std::string configFile;
    std::string mqttSupportMarker;
    std::string firmwareValidMarker;
    std::string firmwareVersionFile;
    std::string baseLogCopy;
    std::string trimmedBaseLogCopy;

    FileEnvironment();
};

struct PMX_DOCKPROTOCOL_API ProtocolEnvironment {
    SystemEnvironment system;
    DravoEnvironment dravo;
    VeltaEnvironment velta;
    OskinEnvironment oskin;
    PallixEnvironment pallix;
    FileEnvironment files;

    // The camera's production setting.
    static const ProtocolEnvironment& Production();
};

}  // namespace tvo
