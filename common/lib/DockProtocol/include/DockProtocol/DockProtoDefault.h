/// \file
/// `tvo::DockProtoDefault`, the protocol object for dock names nobody claims.
#pragma once
// Handed out for dock names nobody claims: answers everything at once, touches
// nothing, so host code can run its normal sequence against it.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

namespace tvo {

/// The do-nothing protocol: what InterfaceFactory::Create() returns for an
/// unknown dock-type name (registered as "DefaultIF"; GetName() says "Default").
///
/// Every operation answers at once from the calling thread, sends nothing,
/// logs nothing and touches no file or device: SayHello() and
/// BlockProtocol() answer Failed, everything else NotSupported, with empty
/// values and ServerInfo::Neutral().
class PMX_DOCKPROTOCOL_API DockProtoDefault : public DockProtoIF {
public:
    /// The registry's constructor; both arguments are ignored.
    DockProtoDefault(std::string_view, DockCallbackIF*) {}

protected:
    /// Failed, at once: there is no dock to greet.
    ReturnCode DoSayHello() override;
    /// Failed, at once.
    ReturnCode DoBlockProtocol() override;
    /// An empty NetworkConfig, NotSupported.
    Result<NetworkConfig> DoProvisionNetwork() override;
    /// NotSupported, at once.
    ReturnCode DoSwitchChannel() override;
    /// Keeps the text for debugging only; NotSupported.
    ReturnCode DoSetWifiMac(const std::string& mac) override;
    /// Keeps the text for debugging only; NotSupported.
    ReturnCode DoSetSerialNumber(const std::string& serial) override;
    /// An empty AssociationInfo, NotSupported.
    Result<AssociationInfo> DoAssociate() override;
    /// ServerInfo::Neutral(), NotSupported.
    Result<ServerInfo> DoGetServerInfo() override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetShutdown() override;
    /// Keeps the value for debugging only; NotSupported.
    ReturnCode DoSetUploadStatus(UploadStatus status) override;
    /// Keeps the value; no handle, NotSupported.
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override;
    /// Keeps the value for debugging only; NotSupported.
    ReturnCode DoSetChargeStatus(ChargeStatus status) override;
    /// Keeps the value; no handle, NotSupported.
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetChargeFault() override;
    /// "Default".
    std::string_view DoGetName() override;
    /// NotSupported, at once.
    ReturnCode DoRequestBaseLog(unsigned int tick) override;
    /// NotSupported, at once.
    ReturnCode DoDownloadBaseLog(unsigned int tick) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoCheckNetwork() override;
    /// Drops the function, which is never called; NotSupported.
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override;
    /// Drops the function; NotSupported.
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override;
    /// NotSupported, at once.
    ReturnCode DoCancel() override;

private:
    // Recorded for the host's debugging only; nothing reads them back.
    std::string wifiMac;
    std::string serialNumber;
    UploadStatus uploadStatus = UploadStatus::Idle;
    ChargeStatus chargeStatus = ChargeStatus::NotCharging;
};

}  // namespace tvo
