#include <DockProtocol/DockProtoOskin.h>

#include "DockProtoUsbImpl.h"
#include "UsbGadgetLink.h"

#include <Logger/LogClient.h>

#include <exception>
#include <tuple>

namespace tvo {
namespace {

// Names the dock in the ServerInfo; distinct from the registry key.
constexpr std::string_view kStationId = "Oskin";
constexpr std::string_view kLocationType = "Q7 Oskin";

using RC = DockProtoIF::ReturnCode;

}  // namespace

DockProtoOskin::DockProtoOskin(std::string_view, DockCallbackIF* callback)
    : DockProtoOskin(ProtocolEnvironment::Production(), callback) {}

DockProtoOskin::DockProtoOskin(const ProtocolEnvironment& environment, DockCallbackIF* callback)
    : impl(std::make_unique<DockProtoUsbImpl>(environment, callback)) {}

DockProtoOskin::~DockProtoOskin() {
    // Stop serving while the call-back is certainly still alive.
    impl->server.reset();
}

RC DockProtoOskin::DoSayHello() {
    impl->pruneProvisionFile("usb.config", "usb0.config");

    if (BringUpUsbGadget(impl->toggleConnection, impl->usbGadgetUp, true, PMX_LOG_SITE) == GadgetLink::Failed) {
        return RC::Failed;
    }

    // The new server must be listening before the old one goes: the base may
    // be talking to it right now.
    std::unique_ptr<OskinRestServerImpl> started;
    try {
        started = std::make_unique<OskinRestServerImpl>(impl->callback, impl->endpoint, impl->transport);
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Failed to start Oskin REST server, error: " << e.what();
        return RC::InProgress;
    }
    impl->server = std::move(started);
    return RC::Ok;
}

DockProtoIF::Result<DockProtoIF::ServerInfo> DockProtoOskin::DoGetServerInfo() {
    auto info = ServerInfo::Neutral();
    bool valid = false;
    if (impl->server) {
        if (const auto stored = impl->server->GetBackendServerInfo()) {
            std::tie(info, valid) = DockProtoUsbImpl::ToServerInfo(*stored);
        }
    }
    info.stationId = kStationId;
    info.roomDescription.clear();
    info.availableForCheckout = true;
    info.ELLocationType = kLocationType;

    if (valid) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Using ExternalSource serverInfo: " << info;
    } else {
        info.serverUrlType = ServerUrlType::LocationOnly;
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Using LocationOnly serverInfo: " << info;
    }
    return {info, RC::Ok};
}

std::string_view DockProtoOskin::DoGetName() {
    return Name;
}

RC DockProtoOskin::DoBlockProtocol() {
    return RC::NotSupported;
}
RC DockProtoOskin::DoSwitchChannel() {
    return RC::NotSupported;
}
RC DockProtoOskin::DoSetWifiMac(const std::string&) {
    return RC::NotSupported;
}
RC DockProtoOskin::DoSetSerialNumber(const std::string&) {
    return RC::NotSupported;
}
RC DockProtoOskin::DoSetUploadStatus(UploadStatus) {
    return RC::NotSupported;
}
RC DockProtoOskin::DoSetChargeStatus(ChargeStatus) {
    return RC::NotSupported;
}
RC DockProtoOskin::DoRequestBaseLog(unsigned int) {
    return RC::NotSupported;
}
RC DockProtoOskin::DoDownloadBaseLog(unsigned int) {
    return RC::NotSupported;
}
RC DockProtoOskin::DoCancel() {
    return RC::NotSupported;
}

RC DockProtoOskin::DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)>) {
    return RC::NotSupported;
}

RC DockProtoOskin::DoSetTerminateBackendCallback(std::function<void()>) {
    return RC::NotSupported;
}

DockProtoIF::Result<DockProtoIF::NetworkConfig> DockProtoOskin::DoProvisionNetwork() {
    return {NetworkConfig{}, RC::NotSupported};
}

DockProtoIF::Result<DockProtoIF::AssociationInfo> DockProtoOskin::DoAssociate() {
    return {AssociationInfo{}, RC::NotSupported};
}

DockProtoIF::Result<std::uint32_t> DockProtoOskin::DoGetShutdown() {
    return {0, RC::NotSupported};
}
DockProtoIF::Result<std::uint32_t> DockProtoOskin::DoCheckNetwork() {
    return {0, RC::NotSupported};
}
DockProtoIF::Result<std::uint32_t> DockProtoOskin::DoGetChargeFault() {
    return {0, RC::NotSupported};
}

DockProtoIF::AsyncResult DockProtoOskin::DoSetUploadStatusAsync(UploadStatus) {
    return {nullptr, RC::NotSupported};
}

DockProtoIF::AsyncResult DockProtoOskin::DoSetChargeStatusAsync(ChargeStatus) {
    return {nullptr, RC::NotSupported};
}

}  // namespace tvo
