#pragma once
// The Pallix dock: it announces itself with a UDP hello on the USB link; the
// camera records the dock's address in the hosts file, learns the port of the
// dock's agent and asks that agent for the server information with an open
// request.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvo {

struct ProtocolEnvironment;
class DockProtoPallixImpl;

class PMX_DOCKPROTOCOL_API DockProtoPallix : public DockProtoIF {
public:
    static constexpr std::string_view Name = "Pallix";

    // The registry's constructor; both arguments are ignored.
    DockProtoPallix(std::string_view, DockCallbackIF*);
    // Interface, ports, hosts file, host names and sleeps from the environment.
    explicit DockProtoPallix(const ProtocolEnvironment& environment);
    ~DockProtoPallix() override;

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
    std::unique_ptr<DockProtoPallixImpl> impl;
};

}  // namespace tvo
