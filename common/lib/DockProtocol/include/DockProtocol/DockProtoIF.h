/// \file
/// `tvo::DockProtoIF`, the one interface through which the host drives a dock
/// of any kind, and the records and codes that cross it.
#pragma once
// The one interface through which the host drives a dock of any kind, with the
// records that cross it.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockCallbackIF.h>
#include <DockProtocol/RestHandle.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

/// Shutdown kinds, owned by the camera's host software.
namespace Shutdown {
// Owned by the host; the library only ever passes Immediate.
/// What the dock orders through the shutdown call-back
/// (DockProtoIF::SetShutdownCallback()). The library only ever passes
/// #Immediate.
enum ShutdownType : std::uint32_t {
    /// Shut the camera down now (the Velta base's `shutdown_now` order).
    Immediate = 0,
};
}  // namespace Shutdown

/// The camera-side docking library: protocol objects, their factory and the
/// records they exchange with the host.
namespace tvo {

/// The one interface through which the host drives a dock, whatever its kind.
///
/// Obtain an object from InterfaceFactory::Create() by dock-type name and own
/// it through the returned `std::unique_ptr`. Every public operation forwards
/// unchanged to the protected `Do` operation of the same name, which each dock
/// kind overrides. An operation a dock kind does not offer answers
/// ReturnCode::NotSupported (with an empty value) and sends nothing.
/// ReturnCode::InProgress asks the host to call the same operation again
/// (for the Dravo dock: BlockProtocol()).
///
/// Threads: the operations lock nothing. Call the operations of one object
/// from one host thread at a time; the exceptions are said where they apply
/// (Cancel() of the Pallix dock, the call-back setters of the Velta dock).
/// Operations block the calling thread for as long as their dock exchange
/// takes; the time limits are in ProtocolEnvironment.
///
/// The typical road of each dock kind is drawn on the main page.
class PMX_DOCKPROTOCOL_API DockProtoIF {
public:
    /// Outcome of an operation; the last member of every result record.
    enum class ReturnCode : std::uint32_t {
        /// Tried and did not succeed.
        Failed = 0,
        /// Completed.
        Ok = 1,
        /// This dock kind does not offer the operation; nothing was sent.
        NotSupported = 2,
        /// Begun: call the operation again (after SayHello() of a Dravo dock: BlockProtocol()).
        InProgress = 3,
    };

    /// How ServerInfo::primaryServerUrl and ServerInfo::secondaryServerUrl are to be read.
    enum class ServerUrlType : std::uint32_t {
        /// Not known; the neutral value.
        Unknown = 0,
        /// Dotted IPv4 text.
        IpAddress = 1,
        /// Host names.
        Hostname = 2,
        /// No server: the record only describes where the camera is docked.
        LocationOnly = 3,
    };

    // Evidence-upload state reported by the host. 0 and 5 are never reported
    // to a REST dock; 2 and 3 are shown alike.
    /// Evidence-upload state reported by the host.
    /// The Dravo dock shows it as a pattern on the cradle (a PHY register write);
    /// the Velta dock reports 1 to 4 to its base as an upload link status.
    enum class UploadStatus : std::uint32_t {
        /// Nothing to upload.
        Idle = 0,
        /// Uploading now.
        Uploading = 1,
        /// Evidence waits to be uploaded.
        Pending = 2,
        /// Evidence is queued; shown as UploadStatus::Pending.
        Queued = 3,
        /// The upload failed.
        Error = 4,
        /// Everything is uploaded; shown as UploadStatus::Idle.
        Done = 5,
    };

    /// Charge state reported by the host: written as one EEPROM byte on a Dravo
    /// dock, sent as a charge text to a Velta base.
    enum class ChargeStatus : std::uint32_t {
        /// Not charging ("Not Charging" to a Velta base).
        NotCharging = 0,
        /// Battery full.
        Full = 1,
        /// Charging.
        Charging = 2,
        /// Charging fault (a Velta base is sent charge_fault 2 and no charge text).
        Fault = 3,
        /// Not known; the Dravo dock's starting value, so a first report of it writes nothing.
        Unknown = 4,
    };

    template <typename T>
    /// A value and the outcome of the operation that produced it.
    /// \tparam T the value's type.
    struct Result {
        /// The answer; each operation says what it holds when the code is not Ok.
        T value{};
        /// Outcome; Failed unless the operation says otherwise.
        ReturnCode code = ReturnCode::Failed;
    };

    /// Outcome of an asynchronous status report and the handle of its request.
    struct AsyncResult {
        /// The request under way, to poll with RestHandle::IsDone(); destroying it
        /// cancels the request. Empty when nothing is under way (the report was not
        /// needed, failed to start, is not offered, or was done at once).
        std::unique_ptr<RestHandle> handle;
        /// InProgress with a handle; Ok, Failed or NotSupported without one.
        ReturnCode code = ReturnCode::Failed;
    };

    /// The back-end evidence server the camera uploads to, and the dock it sits in.
    ///
    /// Returned by GetServerInfo(). Each dock kind starts from Neutral() and fills
    /// in what it learnt.
    struct ServerInfo {
        /// Dotted IPv4 text of the DNS server, or empty.
        std::string dnsIp;
        /// How the two server fields are to be read.
        ServerUrlType serverUrlType = ServerUrlType::Unknown;
        /// The primary server: dotted IPv4 text or a host name, as #serverUrlType says.
        std::string primaryServerUrl;
        /// The secondary server, in the same form as the primary; may be empty.
        std::string secondaryServerUrl;
        /// Decimal text of the server's port, or empty when not known.
        std::string port;
        /// The room the dock stands in, as the dock names it.
        std::string roomDescription;
        /// The docking station's name.
        std::string stationId;
        /// UUID text (8-4-4-4-12, lowercase) of the tenant; the nil UUID when not known.
        std::string tenantId;
        /// The dock slot the camera sits in (Dravo: low 4 bits of the adapter MAC's last byte); else 0.
        std::uint8_t slotId = 0;
        /// Whether the camera may be checked out of this dock.
        bool availableForCheckout = false;
        /// Display name of the dock kind ("Q7 Dravo", "Q7 Velta", "Q7 Oskin", "Pallix"), or "unknown".
        std::string ELLocationType;
        /// Whether the server is reached over IPv6 (the Pallix dock's link).
        bool useIPv6 = false;
        /// HTTP proxy URI to reach the server through, or empty (set by the Pallix dock).
        std::string proxy;

        // The value every dock starts from and answers when it has nothing better.
        /// The record with nothing learnt: room "Default", station "Corvantech", the
        /// nil tenant, location type "unknown", ServerUrlType::Unknown, every other
        /// field empty, 0 or false.
        static ServerInfo Neutral();
    };

    /// The camera's wired network settings, returned by ProvisionNetwork().
    struct NetworkConfig {
        /// Addressing mode as the dock states it: 1 or 2 (flag bit 0 of the Dravo
        /// configuration set: 2); 0 in an empty record.
        std::uint32_t addressMode = 0;
        /// The camera's address, dotted IPv4.
        std::string ipAddress;
        /// Netmask, dotted IPv4.
        std::string netmask;
        /// Gateway, dotted IPv4.
        std::string gateway;
        /// DNS server, dotted IPv4; the gateway when the dock gives none, empty when neither.
        std::string dns;
        /// The camera's wired MAC address as text.
        std::string macAddress;
    };

    /// What a Velta base grants the camera when it approves the announcement;
    /// returned by Associate(). Empty or 0 where the base sent nothing.
    struct AssociationInfo {
        /// Wi-Fi network name.
        std::string ssid;
        /// Wi-Fi pre-shared key.
        std::string psk;
        /// Address granted to the camera.
        std::string ipAddr;
        /// MAC address named by the base (optional in the approval).
        std::string macId;
        /// MQTT broker address; filled only while the MQTT support marker file exists.
        std::string mqttAddress;
        /// MQTT password; as #mqttAddress.
        std::string mqttPassword;
        /// MQTT certificate; as #mqttAddress.
        std::string mqttCertificate;
        /// MQTT broker port, 1 to 65535; 0 when the approval carried no MQTT settings.
        std::uint32_t mqttPortNumber = 0;
    };

    /// Interfaces start empty; the dock kinds' constructors do the work.
    DockProtoIF() = default;
    /// Not copyable: an object owns its servers, sockets and descriptors.
    DockProtoIF(const DockProtoIF&) = delete;
    /// Not copyable.
    DockProtoIF& operator=(const DockProtoIF&) = delete;
    /// Stops the object's servers and releases its descriptors. Requests the host
    /// holds as a RestHandle are not cancelled by this; destroying the handle is.
    virtual ~DockProtoIF() = default;

    // Only the Velta dock keeps a log to trim.
    /// Cuts the downloaded base log at the first occurrence of a tick.
    /// Only the Velta dock keeps a log (DockProtoVelta::TrimBaseLogFile());
    /// every other kind returns 0. DownloadBaseLog() calls it itself.
    /// \return 0 here; the Velta dock returns 1 when it cut the log at the tick.
    virtual std::uint32_t TrimBaseLogFile(unsigned int /*tick*/) { return 0; }

    /// Greets the dock and prepares its transport. Call first.
    ///
    /// - Dravo: learns the adapter chip; reads the whole EEPROM (Ok) or begins
    ///   the block transfer (InProgress: call BlockProtocol()).
    /// - Velta: brings up the USB gadget link, starts the camera's inbound
    ///   server and asks the base for its version (Ok even when the base does
    ///   not answer); InProgress while the server cannot listen.
    /// - Oskin: brings up the USB gadget link and starts the camera's REST
    ///   server; InProgress while it cannot listen (or the call-back is of the
    ///   wrong kind).
    /// - Pallix: waits about 1.2 s on the calling thread for the dock's UDP
    ///   hello and enters the dock in the hosts file; Failed when none came.
    /// - Default: Failed.
    ReturnCode SayHello() { return DoSayHello(); }
    /// Takes the next block of a Dravo cradle's configuration handover.
    /// Call after SayHello() answered InProgress, and again while this answers
    /// InProgress; Ok once all six blocks are in. May block up to 750 ms.
    /// Default: Failed; other kinds: NotSupported.
    ReturnCode BlockProtocol() { return DoBlockProtocol(); }
    /// The camera's wired network settings as the dock gives them.
    /// Dravo only (from the adapter EEPROM; Failed when the adapter's MAC cannot
    /// be read); every other kind: NotSupported.
    Result<NetworkConfig> ProvisionNetwork() { return DoProvisionNetwork(); }
    /// Offered by no dock kind: NotSupported.
    ReturnCode SwitchChannel() { return DoSwitchChannel(); }
    /// Hands over the camera's Wi-Fi MAC address text for the Velta
    /// announcement (Ok). Other kinds: NotSupported.
    ReturnCode SetWifiMac(const std::string& mac) { return DoSetWifiMac(mac); }
    /// Hands over the camera's serial number: sent in the Velta announcement and
    /// the Pallix open request (Ok). Other kinds: NotSupported.
    ReturnCode SetSerialNumber(const std::string& serial) { return DoSetSerialNumber(serial); }
    /// Asks a Velta base for approval; poll until Ok.
    ///
    /// The first call sends the device announcement and answers InProgress; the
    /// base's approval arrives on the camera's inbound server, and the next call
    /// after it returns the granted settings with Ok. Without an approval the
    /// announcement is repeated, after 2 polls the first time and after 6 later.
    /// Failed when the announcement could not be sent (the next call tries
    /// again). Other kinds: NotSupported.
    Result<AssociationInfo> Associate() { return DoAssociate(); }
    /// The back-end server to upload to and the dock the camera sits in.
    ///
    /// - Dravo: from the configuration in the adapter EEPROM; Failed (neutral
    ///   record) when the adapter's MAC cannot be read.
    /// - Velta: asks the base for room and station; always Ok, with
    ///   ServerUrlType::LocationOnly.
    /// - Oskin: what the base last pushed (`set_server_info`), Ok; LocationOnly
    ///   while nothing usable was pushed.
    /// - Pallix: up to three open requests to the dock's agent (blocking; stop
    ///   them with Cancel() from another thread).
    /// - Default: Neutral(), NotSupported.
    Result<ServerInfo> GetServerInfo() { return DoGetServerInfo(); }
    /// Offered by no dock kind: 0, NotSupported. Shutdown orders arrive through
    /// SetShutdownCallback().
    Result<std::uint32_t> GetShutdown() { return DoGetShutdown(); }
    /// Shows the host's upload status on the dock, blocking.
    /// Dravo: PHY register write (Ok without a write when the status is
    /// unchanged). Velta: `upload_status` report, sent only when the link status
    /// changes (else Ok at once); NotSupported for #UploadStatus values 0, 5
    /// and beyond. Other kinds: NotSupported.
    ReturnCode SetUploadStatus(UploadStatus status) { return DoSetUploadStatus(status); }
    /// SetUploadStatus() without waiting for the dock.
    /// Velta: InProgress and a handle to poll (Ok and no handle when no report
    /// was due). Dravo: done at once, no handle. Other kinds: NotSupported.
    AsyncResult SetUploadStatusAsync(UploadStatus status) { return DoSetUploadStatusAsync(status); }
    /// Reports the camera's charge state to the dock, blocking.
    /// Dravo: one EEPROM byte (Ok without a write when unchanged). Velta:
    /// `charge_status` report; Failed unless the base answers 200. Other kinds:
    /// NotSupported.
    ReturnCode SetChargeStatus(ChargeStatus status) { return DoSetChargeStatus(status); }
    /// SetChargeStatus() without waiting for the dock.
    /// Velta: InProgress and a handle to poll; Failed without one when the
    /// request could not start. Dravo: done at once, no handle. Other kinds:
    /// NotSupported.
    AsyncResult SetChargeStatusAsync(ChargeStatus status) { return DoSetChargeStatusAsync(status); }
    /// Sets the function a Velta base's `shutdown_now` order calls (Ok).
    ///
    /// It runs on the camera's inbound server thread, and the base gets its
    /// reply when it returns. It may be replaced at any time from any thread; an
    /// order already running keeps the function it took. Other kinds:
    /// NotSupported, and the function is dropped.
    ReturnCode SetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) {
        return DoSetShutdownCallback(std::move(callback));
    }
    /// Sets the function a Velta base's `terminate_backend_operations` order
    /// calls (Ok). Threads as for SetShutdownCallback(). Other kinds: NotSupported.
    ReturnCode SetTerminateBackendCallback(std::function<void()> callback) {
        return DoSetTerminateBackendCallback(std::move(callback));
    }
    /// The dock kind: "Dravo", "Velta", "Oskin", "Pallix" or "Default".
    /// Valid for the life of the program.
    std::string_view GetName() { return DoGetName(); }
    /// Checks the wired link of a Dravo cradle: 0 with Ok when the adapter is up
    /// with an address, 1 (down) or 2 (no address) with Failed. Other kinds:
    /// 0, NotSupported.
    Result<std::uint32_t> CheckNetwork() { return DoCheckNetwork(); }
    /// The dock's charge fault.
    /// Dravo: the base's fault byte read from the adapter EEPROM. Velta: the
    /// fault code of the base's last `charge_status` (0 none, 2, 7 or 8), always
    /// Ok. Other kinds: 0, NotSupported.
    Result<std::uint32_t> GetChargeFault() { return DoGetChargeFault(); }
    /// Stops a Pallix GetServerInfo() running on another thread (Ok; harmless
    /// when none runs); meant to be called while that one waits. Other kinds:
    /// NotSupported (their requests end by their time limits, handed-out
    /// requests by their RestHandle).
    ReturnCode Cancel() { return DoCancel(); }
    /// Asks a Velta base to prepare its log; call until Ok (log ready).
    /// InProgress while the base is not ready, NotSupported when the base
    /// answers 400, Failed on any other failure. `tick` is the camera's tick the
    /// log is wanted from. Other kinds: NotSupported.
    ReturnCode RequestBaseLog(unsigned int tick) { return DoRequestBaseLog(tick); }
    /// Downloads a Velta base's log, cuts it at `tick` (TrimBaseLogFile()) and
    /// writes it into the log pipe (VeltaEnvironment::logPipe).
    /// Blocks until a reader has opened the pipe and taken everything; Failed
    /// when the pipe cannot be made, no log copy exists or the reader goes away.
    /// A failed download is only logged: a copy left by an earlier download is
    /// then sent. Other kinds: NotSupported.
    ReturnCode DownloadBaseLog(unsigned int tick) { return DoDownloadBaseLog(tick); }

protected:
    /// Implements SayHello().
    virtual ReturnCode DoSayHello() = 0;
    /// Implements BlockProtocol().
    virtual ReturnCode DoBlockProtocol() = 0;
    /// Implements ProvisionNetwork().
    virtual Result<NetworkConfig> DoProvisionNetwork() = 0;
    /// Implements SwitchChannel().
    virtual ReturnCode DoSwitchChannel() = 0;
    /// Implements SetWifiMac().
    virtual ReturnCode DoSetWifiMac(const std::string& mac) = 0;
    /// Implements SetSerialNumber().
    virtual ReturnCode DoSetSerialNumber(const std::string& serial) = 0;
    /// Implements Associate().
    virtual Result<AssociationInfo> DoAssociate() = 0;
    /// Implements GetServerInfo().
    virtual Result<ServerInfo> DoGetServerInfo() = 0;
    /// Implements GetShutdown().
    virtual Result<std::uint32_t> DoGetShutdown() = 0;
    /// Implements SetUploadStatus().
    virtual ReturnCode DoSetUploadStatus(UploadStatus status) = 0;
    /// Implements SetUploadStatusAsync().
    virtual AsyncResult DoSetUploadStatusAsync(UploadStatus status) = 0;
    /// Implements SetChargeStatus().
    virtual ReturnCode DoSetChargeStatus(ChargeStatus status) = 0;
    /// Implements SetChargeStatusAsync().
    virtual AsyncResult DoSetChargeStatusAsync(ChargeStatus status) = 0;
    /// Implements GetChargeFault().
    virtual Result<std::uint32_t> DoGetChargeFault() = 0;
    /// Implements GetName().
    virtual std::string_view DoGetName() = 0;
    /// Implements RequestBaseLog().
    virtual ReturnCode DoRequestBaseLog(unsigned int tick) = 0;
    /// Implements DownloadBaseLog().
    virtual ReturnCode DoDownloadBaseLog(unsigned int tick) = 0;
    /// Implements CheckNetwork().
    virtual Result<std::uint32_t> DoCheckNetwork() = 0;
    /// Implements SetShutdownCallback().
    virtual ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) = 0;
    /// Implements SetTerminateBackendCallback().
    virtual ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) = 0;
    /// Implements Cancel().
    virtual ReturnCode DoCancel() = 0;
};

/// Writes the name of a ServerUrlType ("Unknown", "IpAddress", "Hostname",
/// "LocationOnly", else "Invalid").
PMX_DOCKPROTOCOL_API std::ostream& operator<<(std::ostream& out, const DockProtoIF::ServerUrlType& type);
/// Writes every field of a ServerInfo on one line, for logs.
/// slotId goes out as one raw byte; availableForCheckout in the stream's
/// current bool format. Leaves the stream writing bools alphabetically
/// (`std::boolalpha`).
// Leaves the stream writing bools alphabetically.
PMX_DOCKPROTOCOL_API std::ostream& operator<<(std::ostream& out, const DockProtoIF::ServerInfo& info);

/// The name of a ReturnCode: "Failed", "Ok", "NotSupported", "InProgress", else "Invalid".
// Text of a code ("Failed", "Ok", "NotSupported", "InProgress", else "Invalid").
PMX_DOCKPROTOCOL_API std::string_view ToString(DockProtoIF::ReturnCode code);
/// Writes ToString() of a ReturnCode.
PMX_DOCKPROTOCOL_API std::ostream& operator<<(std::ostream& out, const DockProtoIF::ReturnCode& code);

}  // namespace tvo
