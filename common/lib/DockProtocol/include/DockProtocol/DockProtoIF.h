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

namespace Shutdown {
// Owned by the host; the library only ever passes Immediate.
enum ShutdownType : std::uint32_t {
    Immediate = 0,
};
}  // namespace Shutdown

namespace tvo {

class PMX_DOCKPROTOCOL_API DockProtoIF {
public:
    enum class ReturnCode : std::uint32_t {
        Failed = 0,
        Ok = 1,
        NotSupported = 2,
        InProgress = 3,
    };

    enum class ServerUrlType : std::uint32_t {
        Unknown = 0,
        IpAddress = 1,
        Hostname = 2,
        LocationOnly = 3,
    };

    // Evidence-upload state reported by the host. 0 and 5 are never reported
    // to a REST dock; 2 and 3 are shown alike.
    enum class UploadStatus : std::uint32_t {
        Idle = 0,
        Uploading = 1,
        Pending = 2,
        Queued = 3,
        Error = 4,
        Done = 5,
    };

    enum class ChargeStatus : std::uint32_t {
        NotCharging = 0,
        Full = 1,
        Charging = 2,
        Fault = 3,
        Unknown = 4,
    };

    template <typename T>
    struct Result {
        T value{};
        ReturnCode code = ReturnCode::Failed;
    };

    struct AsyncResult {
        std::unique_ptr<RestHandle> handle;
        ReturnCode code = ReturnCode::Failed;
    };

    struct ServerInfo {
        std::string dnsIp;
        ServerUrlType serverUrlType = ServerUrlType::Unknown;
        std::string primaryServerUrl;
        std::string secondaryServerUrl;
        std::string port;
        std::string roomDescription;
        std::string stationId;
        std::string tenantId;
        std::uint8_t slotId = 0;
        bool availableForCheckout = false;
        std::string ELLocationType;
        bool useIPv6 = false;
        std::string proxy;

        // The value every dock starts from and answers when it has nothing better.
        static ServerInfo Neutral();
    };

    struct NetworkConfig {
        std::uint32_t addressMode = 0;
        std::string ipAddress;
        std::string netmask;
        std::string gateway;
        std::string dns;
        std::string macAddress;
    };

    struct AssociationInfo {
        std::string ssid;
        std::string psk;
        std::string ipAddr;
        std::string macId;
        std::string mqttAddress;
        std::string mqttPassword;
        std::string mqttCertificate;
        std::uint32_t mqttPortNumber = 0;
    };

    DockProtoIF() = default;
    DockProtoIF(const DockProtoIF&) = delete;
    DockProtoIF& operator=(const DockProtoIF&) = delete;
    virtual ~DockProtoIF() = default;

    // Only the Velta dock keeps a log to trim.
    virtual std::uint32_t TrimBaseLogFile(unsigned int /*tick*/) { return 0; }

    ReturnCode SayHello() { return DoSayHello(); }
    ReturnCode BlockProtocol() { return DoBlockProtocol(); }
    Result<NetworkConfig> ProvisionNetwork() { return DoProvisionNetwork(); }
    ReturnCode SwitchChannel() { return DoSwitchChannel(); }
    ReturnCode SetWifiMac(const std::string& mac) { return DoSetWifiMac(mac); }
    ReturnCode SetSerialNumber(const std::string& serial) { return DoSetSerialNumber(serial); }
    Result<AssociationInfo> Associate() { return DoAssociate(); }
    Result<ServerInfo> GetServerInfo() { return DoGetServerInfo(); }
    Result<std::uint32_t> GetShutdown() { return DoGetShutdown(); }
    ReturnCode SetUploadStatus(UploadStatus status) { return DoSetUploadStatus(status); }
    AsyncResult SetUploadStatusAsync(UploadStatus status) { return DoSetUploadStatusAsync(status); }
    ReturnCode SetChargeStatus(ChargeStatus status) { return DoSetChargeStatus(status); }
    AsyncResult SetChargeStatusAsync(ChargeStatus status) { return DoSetChargeStatusAsync(status); }
    ReturnCode SetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) {
        return DoSetShutdownCallback(std::move(callback));
    }
    ReturnCode SetTerminateBackendCallback(std::function<void()> callback) {
        return DoSetTerminateBackendCallback(std::move(callback));
    }
    std::string_view GetName() { return DoGetName(); }
    Result<std::uint32_t> CheckNetwork() { return DoCheckNetwork(); }
    Result<std::uint32_t> GetChargeFault() { return DoGetChargeFault(); }
    ReturnCode Cancel() { return DoCancel(); }
    ReturnCode RequestBaseLog(unsigned int tick) { return DoRequestBaseLog(tick); }
    ReturnCode DownloadBaseLog(unsigned int tick) { return DoDownloadBaseLog(tick); }

protected:
    virtual ReturnCode DoSayHello() = 0;
    virtual ReturnCode DoBlockProtocol() = 0;
    virtual Result<NetworkConfig> DoProvisionNetwork() = 0;
    virtual ReturnCode DoSwitchChannel() = 0;
    virtual ReturnCode DoSetWifiMac(const std::string& mac) = 0;
    virtual ReturnCode DoSetSerialNumber(const std::string& serial) = 0;
    virtual Result<AssociationInfo> DoAssociate() = 0;
    virtual Result<ServerInfo> DoGetServerInfo() = 0;
    virtual Result<std::uint32_t> DoGetShutdown() = 0;
    virtual ReturnCode DoSetUploadStatus(UploadStatus status) = 0;
    virtual AsyncResult DoSetUploadStatusAsync(UploadStatus status) = 0;
    virtual ReturnCode DoSetChargeStatus(ChargeStatus status) = 0;
    virtual AsyncResult DoSetChargeStatusAsync(ChargeStatus status) = 0;
    virtual Result<std::uint32_t> DoGetChargeFault() = 0;
    virtual std::string_view DoGetName() = 0;
    virtual ReturnCode DoRequestBaseLog(unsigned int tick) = 0;
    virtual ReturnCode DoDownloadBaseLog(unsigned int tick) = 0;
    virtual Result<std::uint32_t> DoCheckNetwork() = 0;
    virtual ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) = 0;
    virtual ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) = 0;
    virtual ReturnCode DoCancel() = 0;
};

PMX_DOCKPROTOCOL_API std::ostream& operator<<(std::ostream& out, const DockProtoIF::ServerUrlType& type);
// Leaves the stream writing bools alphabetically.
PMX_DOCKPROTOCOL_API std::ostream& operator<<(std::ostream& out, const DockProtoIF::ServerInfo& info);

// Text of a code ("Failed", "Ok", "NotSupported", "InProgress", else "Invalid").
PMX_DOCKPROTOCOL_API std::string_view ToString(DockProtoIF::ReturnCode code);
PMX_DOCKPROTOCOL_API std::ostream& operator<<(std::ostream& out, const DockProtoIF::ReturnCode& code);

}  // namespace tvo
