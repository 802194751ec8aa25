/// \file
/// `tvo::ProtocolEnvironment`: everything a protocol object reaches outside itself.
#pragma once
// Everything a protocol object reaches outside itself: interfaces, endpoints,
// file paths, the ioctl seam, the connection manager, the network transport
// and the clock. The default value is the camera's production setting; tests,
// simulators and `dockhost --simulate` hand a protocol object a copy pointed
// at loopback or an in-memory network, temporary folders and a fake clock.

#include <DockProtocol/Export.h>
#include <Common/FileCalls.h>
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

class HttpClientIF;
struct HttpClientOptions;
class HttpServerIF;
struct HttpServerOptions;
class DatagramSocketIF;

// Sleeps the whole interval, resuming after signals.
/// Sleeps the calling thread for the whole interval, resuming after signals;
/// returns at once for 0 or less. The default of SystemEnvironment::sleep.
PMX_DOCKPROTOCOL_API void SleepFor(std::chrono::nanoseconds interval);

/// The system calls the protocol objects make: ioctls, interface queries,
/// the connection manager, and sleeps. Defaults are the real ones.
struct PMX_DOCKPROTOCOL_API SystemEnvironment {
    /// Makes the seam every ioctl goes through (Dravo dock).
    std::function<std::unique_ptr<LinuxApiIF>()> makeLinuxApi = LinuxApi;
    // The handle that interface ioctls go through.
    /// Opens the socket that interface ioctls are made on (Dravo dock).
    std::function<FileDescriptor()> openIoctlSocket = OpenIoctlSocket;
    /// Sleeps the calling thread (handshake retries, discovery polls, pauses
    /// between open requests); a fake clock in tests.
    std::function<void(std::chrono::nanoseconds)> sleep = SleepFor;
    /// Reads the clock that sleep runs on; a fake clock in tests.
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
    /// The MAC address of a network interface, 6 bytes (else unreadable).
    std::function<std::vector<std::byte>(std::string_view)> interfaceMac;
    /// Whether a network interface is up.
    std::function<bool(std::string_view)> interfaceUp;
    /// A network interface's IPv4 address as text, empty when it has none.
    std::function<std::string(std::string_view)> interfaceIp;
    /// Has the connection manager prune a provisioning file (the REST docks'
    /// SayHello prune "usb.config" and "usb0.config").
    std::function<void(std::string_view, std::string_view)> pruneProvisionFile;
    /// Has the connection manager bring a connection up or down (the REST docks
    /// bring up the USB gadget link).
    std::function<connman::ToggleResult(connman::ConnectionType, bool)> toggleConnection;

    /// Fills every function with the real system call.
    SystemEnvironment();  // fills the functions with the real system calls
};

/// How the protocol objects reach a dock over the network: every HTTP
/// client and server and the discovery socket are made here. Defaults are the
/// real ones; tests put an in-memory network in their place.
struct PMX_DOCKPROTOCOL_API TransportEnvironment {
    /// Makes an outbound HTTP client (Velta requests, Pallix open request).
    std::function<std::unique_ptr<HttpClientIF>(const HttpClientOptions&)> makeHttpClient;
    /// Makes an inbound HTTP server, not yet listening (Velta, Oskin).
    std::function<std::unique_ptr<HttpServerIF>(const HttpServerOptions&)> makeHttpServer;
    /// Opens the socket the Pallix hello arrives on, bound to the interface
    /// and port; throws DatagramSocketError with the reason when it cannot.
    std::function<std::unique_ptr<DatagramSocketIF>(const std::string& interfaceName, std::uint16_t port)>
        openDiscoverySocket;

    /// Fills every function with the real transport.
    TransportEnvironment();
};

// What an inbound server grants the dock: the time for a request's headers
// and for its body, and for an idle keep-alive connection.
/// Time limits of a camera-side server towards the dock: time for a request's
/// headers and its body, and for an idle keep-alive connection. A request or
/// connection that overruns is closed.
struct PMX_DOCKPROTOCOL_API InboundLimits {
    /// Headers must arrive within this of the request's start; default 10 s.
    std::chrono::milliseconds headerTimeout{10000};
    /// A body must arrive within this after its headers; default 30 s.
    std::chrono::milliseconds bodyTimeout{30000};
    /// An idle keep-alive connection is closed after this; default 30 s.
    std::chrono::milliseconds idleTimeout{30000};
};

/// Where the Dravo cradle is reached.
struct PMX_DOCKPROTOCOL_API DravoEnvironment {
    /// The cradle adapter's network interface; default "eth0".
    std::string interfaceName = "eth0";
};

/// Where the Velta base and the camera's inbound server are, and the Velta
/// time limits.
struct PMX_DOCKPROTOCOL_API VeltaEnvironment {
    /// The base's address; default "192.168.99.1".
    std::string baseAddress = "192.168.99.1";
    /// The base's port; default 55006.
    int basePort = 55006;
    /// Address the camera's inbound server listens on; default "192.168.99.2".
    std::string listenAddress = "192.168.99.2";
    /// Port of the camera's inbound server; default 55006.
    int listenPort = 55006;
    /// Path of both directions' requests; default "UsbRest/1.0".
    std::string path = "UsbRest/1.0";
    /// Name of the USB gadget link, default "usb0"; for tools' link checks only
    /// (the connection manager brings the link up by its own settings).
    std::string gadgetInterface = "usb0";
    /// Named pipe DownloadBaseLog() writes the base's log into; default
    /// "/tmp/wifilogpipe".
    std::string logPipe = "/tmp/wifilogpipe";
    // Time limit of each version request of SayHello.
    /// Limit of each of SayHello()'s up to four version requests; default 3 s.
    std::chrono::milliseconds helloTimeout{3000};
    // Announcement, server information and status reports; 0 is the HTTP
    // client's own limit.
    /// Limit of the announcement, server information and status reports;
    /// default 0 (the HTTP client's own limit).
    std::chrono::milliseconds requestTimeout{0};
    // The base's answer whether its log is ready.
    /// Limit of RequestBaseLog(); default 2 s.
    std::chrono::milliseconds logRequestTimeout;
    // Download of the base's log; 0 is the HTTP client's own limit.
    /// Limit of the log download; default 0 (the HTTP client's own limit).
    std::chrono::milliseconds logDownloadTimeout{0};
    /// Time limits of the inbound server.
    InboundLimits inbound;
    // The base's log lands in RAM (/tmp): a larger one is refused.
    /// Largest base log downloaded, in bytes; default 64 MiB.
    std::size_t logDownloadLimit = std::size_t{64} * 1024 * 1024;

    /// The production setting; the log request's limit is the protocol's own.
    VeltaEnvironment();
};

/// Where the camera's REST server for an Oskin base listens.
struct PMX_DOCKPROTOCOL_API OskinEnvironment {
    /// Listening address; default "127.0.0.1".
    std::string listenAddress = "127.0.0.1";
    /// Listening port; default 55006.
    int port = 55006;
    /// Path the messages live under; default "api/".
    std::string path = "api/";
    /// Name of the USB gadget link, default "usb0"; for tools' link checks only
    /// (the connection manager brings the link up by its own settings).
    std::string gadgetInterface = "usb0";
    /// Time limits of the REST server.
    InboundLimits inbound;
};

/// Where the Pallix dock is heard and reached, and the names it gets.
struct PMX_DOCKPROTOCOL_API PallixEnvironment {
    /// The USB link the hello arrives on and the open request leaves by; default "usb0".
    std::string interfaceName = "usb0";
    /// UDP port of the dock's hello; default 9009.
    std::uint16_t discoveryPort = 9009;
    /// The hosts file the dock's names are entered in; default "/etc/hosts".
    std::string hostsFile = "/etc/hosts";
    /// Name entered for the dock's address; default "pallix-dock.local".
    std::string dockHostName = "pallix-dock.local";
    /// Name entered for the open answer's `connectHost`; default "pallix-proxy.local".
    std::string proxyHostName = "pallix-proxy.local";
    /// DNS server given in the Pallix ServerInfo; default "8.8.8.8".
    std::string dnsResolver = "8.8.8.8";
};

// Platform files; defaults come from the sibling file-location functions.
/// Platform files of the Velta dock, and the calls every protocol object
/// makes files with (downloads, copies, the log pipe, the hosts file).
struct PMX_DOCKPROTOCOL_API FileEnvironment {
    /// The file system calls; default the real ones. Never null.
    std::shared_ptr<const FileCalls> calls = FileCalls::System();
    /// The camera configuration named to a base asking `get_camera_config`.
    std::string configFile;
    /// While this file exists, approvals are read with their MQTT settings.
    std::string mqttSupportMarker;
    /// Marks the dock firmware image as validated; removed when the package cannot be served.
    std::string firmwareValidMarker;
    /// `key=value` file naming the dock firmware's version and image location.
    std::string firmwareVersionFile;
    /// Where the base's downloaded log is kept.
    std::string baseLogCopy;
    /// Where the log cut at the host's tick is kept.
    std::string trimmedBaseLogCopy;

    /// The platform's own locations.
    FileEnvironment();
};

/// Everything a protocol object reaches outside itself: interfaces,
/// endpoints, file paths, the ioctl seam, the connection manager, the
/// network transport and the clock.
///
/// Production() is the camera's setting, which the factory's objects use.
/// Tests, simulators and `dockhost --simulate` hand a protocol object's
/// constructor a copy pointed at loopback, temporary folders and a fake
/// clock. An object copies what it needs when it is made.
struct PMX_DOCKPROTOCOL_API ProtocolEnvironment {
    /// System calls.
    SystemEnvironment system;
    /// HTTP clients and servers, and the discovery socket.
    TransportEnvironment transport;
    /// Dravo cradle.
    DravoEnvironment dravo;
    /// Velta dock.
    VeltaEnvironment velta;
    /// Oskin dock.
    OskinEnvironment oskin;
    /// Pallix dock.
    PallixEnvironment pallix;
    /// Platform files.
    FileEnvironment files;

    // The camera's production setting.
    /// The camera's production setting, made once; safe from any thread.
    static const ProtocolEnvironment& Production();
};

}  // namespace tvo
