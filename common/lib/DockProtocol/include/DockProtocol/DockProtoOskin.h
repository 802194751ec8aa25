#pragma once
// The Oskin dock: the camera brings up the USB gadget link and serves a REST
// interface; the base says hello, reads the camera's configuration,
// capabilities and provisioning state and pushes the server information.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvo {

struct ProtocolEnvironment;
class DockProtoUsbImpl;

class PMX_DOCKPROTOCOL_API DockProtoOskin : public DockProtoIF {
public:
    static constexpr std::string_view Name = "Oskin";

    // The registry's constructor; the name is ignored. The call-back must be
    // an OskinDockCallbackIF (or null) and outlive this object; it is checked
    // when SayHello starts the server.
    DockProtoOskin(std::string_view name, DockCallbackIF* callback);
    // Listening address, port and path, and the connection-manager calls from
    // the environment.
    DockProtoOskin(const ProtocolEnvironment& environment, DockCallbackIF* callback);
    ~DockProtoOskin() override;

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
    std::unique_ptr<DockProtoUsbImpl> impl;
};

}  // namespace tvo
