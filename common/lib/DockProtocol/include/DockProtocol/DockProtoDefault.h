#pragma once
// Handed out for dock names nobody claims: answers everything at once, touches
// nothing, so host code can run its normal sequence against it.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

namespace tvo {

class PMX_DOCKPROTOCOL_API DockProtoDefault : public DockProtoIF {
public:
    DockProtoDefault(std::string_view, DockCallbackIF*) {}

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
    // Recorded for the host's debugging only; nothing reads them back.
    std::string wifiMac;
    std::string serialNumber;
    UploadStatus uploadStatus = UploadStatus::Idle;
    ChargeStatus chargeStatus = ChargeStatus::NotCharging;
};

}  // namespace tvo
