#include <DockProtocol/DockProtoPallix.h>

#include "DockProtoPallixImpl.h"

#include <DockProtocol/ProtocolEnvironment.h>

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;

}  // namespace

DockProtoPallixImpl::DockProtoPallixImpl(const ProtocolEnvironment& environment)
    : settings(environment.pallix),
      transport(environment.transport),
      sleep(environment.system.sleep),
      fileCalls(environment.files.calls) {}

DockProtoPallix::DockProtoPallix(std::string_view, DockCallbackIF*)
    : DockProtoPallix(ProtocolEnvironment::Production()) {}

DockProtoPallix::DockProtoPallix(const ProtocolEnvironment& environment)
    : impl(std::make_unique<DockProtoPallixImpl>(environment)) {}

DockProtoPallix::~DockProtoPallix() = default;

RC DockProtoPallix::DoSayHello() {
    return impl->SayHello();
}

RC DockProtoPallix::DoSetSerialNumber(const std::string& serial) {
    impl->serialNumber = serial;
    return RC::Ok;
}

DockProtoIF::Result<DockProtoIF::ServerInfo> DockProtoPallix::DoGetServerInfo() {
    return impl->GetServerInfo();
}

RC DockProtoPallix::DoCancel() {
    impl->Cancel();
    return RC::Ok;
}

std::string_view DockProtoPallix::DoGetName() {
    return Name;
}

RC DockProtoPallix::DoBlockProtocol() {
    return RC::NotSupported;
}
RC DockProtoPallix::DoSwitchChannel() {
    return RC::NotSupported;
}
RC DockProtoPallix::DoSetWifiMac(const std::string&) {
    return RC::NotSupported;
}
RC DockProtoPallix::DoSetUploadStatus(UploadStatus) {
    return RC::NotSupported;
}
RC DockProtoPallix::DoSetChargeStatus(ChargeStatus) {
    return RC::NotSupported;
}
RC DockProtoPallix::DoRequestBaseLog(unsigned int) {
    return RC::NotSupported;
}
RC DockProtoPallix::DoDownloadBaseLog(unsigned int) {
    return RC::NotSupported;
}

RC DockProtoPallix::DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)>) {
    return RC::NotSupported;
}

RC DockProtoPallix::DoSetTerminateBackendCallback(std::function<void()>) {
    return RC::NotSupported;
}

DockProtoIF::Result<DockProtoIF::NetworkConfig> DockProtoPallix::DoProvisionNetwork() {
    return {NetworkConfig{}, RC::NotSupported};
}

DockProtoIF::Result<DockProtoIF::AssociationInfo> DockProtoPallix::DoAssociate() {
    return {AssociationInfo{}, RC::NotSupported};
}

DockProtoIF::Result<std::uint32_t> DockProtoPallix::DoGetShutdown() {
    return {0, RC::NotSupported};
}
DockProtoIF::Result<std::uint32_t> DockProtoPallix::DoCheckNetwork() {
    return {0, RC::NotSupported};
}
DockProtoIF::Result<std::uint32_t> DockProtoPallix::DoGetChargeFault() {
    return {0, RC::NotSupported};
}

DockProtoIF::AsyncResult DockProtoPallix::DoSetUploadStatusAsync(UploadStatus) {
    return {nullptr, RC::NotSupported};
}

DockProtoIF::AsyncResult DockProtoPallix::DoSetChargeStatusAsync(ChargeStatus) {
    return {nullptr, RC::NotSupported};
}

}  // namespace tvo
