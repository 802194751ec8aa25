#include <DockProtocol/DockProtoDefault.h>

namespace tvo {

using RC = DockProtoIF::ReturnCode;

RC DockProtoDefault::DoSayHello() {
    return RC::Failed;
}
RC DockProtoDefault::DoBlockProtocol() {
    return RC::Failed;
}

DockProtoIF::Result<DockProtoIF::NetworkConfig> DockProtoDefault::DoProvisionNetwork() {
    return {NetworkConfig{}, RC::NotSupported};
}

RC DockProtoDefault::DoSwitchChannel() {
    return RC::NotSupported;
}

RC DockProtoDefault::DoSetWifiMac(const std::string& mac) {
    wifiMac = mac;
    return RC::NotSupported;
}

RC DockProtoDefault::DoSetSerialNumber(const std::string& serial) {
    serialNumber = serial;
    return RC::NotSupported;
}

DockProtoIF::Result<DockProtoIF::AssociationInfo> DockProtoDefault::DoAssociate() {
    return {AssociationInfo{}, RC::NotSupported};
}

DockProtoIF::Result<DockProtoIF::ServerInfo> DockProtoDefault::DoGetServerInfo() {
    return {ServerInfo::Neutral(), RC::NotSupported};
}

DockProtoIF::Result<std::uint32_t> DockProtoDefault::DoGetShutdown() {
    return {0, RC::NotSupported};
}

RC DockProtoDefault::DoSetUploadStatus(UploadStatus status) {
    uploadStatus = status;
    return RC::NotSupported;
}

DockProtoIF::AsyncResult DockProtoDefault::DoSetUploadStatusAsync(UploadStatus status) {
    uploadStatus = status;
    return {nullptr, RC::NotSupported};
}

RC DockProtoDefault::DoSetChargeStatus(ChargeStatus status) {
    chargeStatus = status;
    return RC::NotSupported;
}

DockProtoIF::AsyncResult DockProtoDefault::DoSetChargeStatusAsync(ChargeStatus status) {
    chargeStatus = status;
    return {nullptr, RC::NotSupported};
}

DockProtoIF::Result<std::uint32_t> DockProtoDefault::DoGetChargeFault() {
    return {0, RC::NotSupported};
}
std::string_view DockProtoDefault::DoGetName() {
    return "Default";
}
RC DockProtoDefault::DoRequestBaseLog(unsigned int) {
    return RC::NotSupported;
}
RC DockProtoDefault::DoDownloadBaseLog(unsigned int) {
    return RC::NotSupported;
}
DockProtoIF::Result<std::uint32_t> DockProtoDefault::DoCheckNetwork() {
    return {0, RC::NotSupported};
}

RC DockProtoDefault::DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)>) {
    return RC::NotSupported;
}

RC DockProtoDefault::DoSetTerminateBackendCallback(std::function<void()>) {
    return RC::NotSupported;
}

RC DockProtoDefault::DoCancel() {
    return RC::NotSupported;
}

}  // namespace tvo
