#pragma once
// The Velta dock: REST with JSON bodies over the USB gadget link, both ways.
// The camera greets the base, announces itself and asks for the server
// description; the base approves the camera, reports its charge state and
// orders shutdowns through the camera's own inbound server. The host's
// shutdown and terminate call-backs run on that server's threads, and the
// base gets its reply once they return.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvo {

struct ProtocolEnvironment;
class DockProtoVeltaImpl;

namespace rest {
using UploadLinkStatus = std::uint32_t;
}

class PMX_DOCKPROTOCOL_API DockProtoVelta : public DockProtoIF {
public:
    static constexpr std::string_view Name = "Velta";

    // The registry's constructor; both arguments are ignored. Starts nothing.
    DockProtoVelta(std::string_view name, DockCallbackIF* callback);
    // Endpoints, gadget link, connection-manager calls and files from the
    // environment instead of the production setting.
    explicit DockProtoVelta(const ProtocolEnvironment& environment);
    // Stops the inbound server and waits for the requests it is serving, so
    // it must not be destroyed from inside one of its own call-backs.
    ~DockProtoVelta() override;

    std::uint32_t TrimBaseLogFile(unsigned int tick) override;

protected:
    ReturnCode DoSayHello() override;
    ReturnCode DoBlockProtocol() override;
    Result<NetworkConfig> DoProvisionNetwork() override;
    ReturnCode DoSwitchChannel() override;
    ReturnCode DoSetWifiMac(const std::string& mac) override;
    ReturnCode DoSetSerialNumber(const std::string& serial) override;
    Result<AssociationInfo> DoAssociate() override;
    Result<ServerInfo> DoGetServerInfo() override;
    Result<std::uint32_t> DoGetShutdown() override;
    ReturnCode DoSetUploadStatus(UploadStatus status) override;
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override;
    ReturnCode DoSetChargeStatus(ChargeStatus status) override;
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override;
    Result<std::uint32_t> DoGetChargeFault() override;
    std::string_view DoGetName() override;
    ReturnCode DoRequestBaseLog(unsigned int tick) override;
    ReturnCode DoDownloadBaseLog(unsigned int tick) override;
    Result<std::uint32_t> DoCheckNetwork() override;
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override;
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override;
    ReturnCode DoCancel() override;

private:
    // Whether an upload report for this link status is due; remembers it when
    // it is, before the report's outcome is known.
    bool CheckLinkStatusChanged(rest::UploadLinkStatus status);

    std::unique_ptr<DockProtoVeltaImpl> impl;
    rest::UploadLinkStatus lastLinkStatus = 0;  // last upload link status sent
};

}  // namespace tvo
