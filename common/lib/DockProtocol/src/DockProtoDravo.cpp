#include <DockProtocol/DockProtoDravo.h>

#include "InterfaceRequest.h"

#include <Common/Network.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <Logger/LogClient.h>

#include <linux/ethtool.h>
#include <linux/sockios.h>

#include <cstring>

namespace tvo {
namespace {

// Lines of this file have always named it without its extension; log readers match on that.
constexpr std::string_view kLogSource = "common/lib/DockProtocol/src/DockProtoDravo";

constexpr std::string_view kAx88179Driver = "ax88179_178a";

using RC = DockProtoIF::ReturnCode;
using DockProto::EthtoolEeprom;

}  // namespace

DockProtoDravo::DockProtoDravo(std::string_view, DockCallbackIF*)
    : DockProtoDravo(LinuxApi(), nullptr, ProtocolEnvironment::Production()) {}

DockProtoDravo::DockProtoDravo(std::unique_ptr<LinuxApiIF> api, std::unique_ptr<EthtoolEeprom> eeprom)
    : DockProtoDravo(std::move(api), std::move(eeprom), ProtocolEnvironment::Production()) {}

DockProtoDravo::DockProtoDravo(const ProtocolEnvironment& environment, std::unique_ptr<EthtoolEeprom> eeprom)
    : DockProtoDravo(environment.system.makeLinuxApi(), std::move(eeprom), environment) {}

DockProtoDravo::DockProtoDravo(std::unique_ptr<LinuxApiIF> api, std::unique_ptr<EthtoolEeprom> eeprom,
                               const ProtocolEnvironment& environment)
    : api(std::move(api)),
      socket(environment.system.openIoctlSocket()),
      eeprom(eeprom ? std::move(eeprom) : std::make_unique<EthtoolEeprom>()),
      interfaceName(environment.dravo.interfaceName),
      interfaceMac(environment.system.interfaceMac),
      interfaceUp(environment.system.interfaceUp),
      interfaceIp(environment.system.interfaceIp) {
    // The block reader shares the environment's seam, so that an emulated
    // cradle sees the handshake and this object's own requests alike.
    this->eeprom->SetBlockProto(std::make_unique<DockProto::BlockProto>(
        environment.system.makeLinuxApi(), this->eeprom->GetConfigurationArea(), environment));
}

DockProtoDravo::~DockProtoDravo() = default;

RC DockProtoDravo::DoSayHello() {
    if (!socket.IsOpen()) {
        return RC::Failed;
    }
    auto driverInfo = std::make_unique<ethtool_drvinfo>();
    driverInfo->cmd = ETHTOOL_GDRVINFO;
    int result = DockProto::EthtoolRequest(*api, socket.Get(), interfaceName, driverInfo.get());
    if (result != 0) {
        PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return RC::Failed;
    }
    // The kernel terminates the name, a faulty driver might not.
    const std::string driver(driverInfo->driver, strnlen(driverInfo->driver, sizeof driverInfo->driver));
    if (driver == kAx88179Driver) {
        eeprom->SelectLayout(DockProto::EEPROM_ax88179{});
    } else {
        eeprom->SelectLayout(DockProto::EEPROM_lan7850{});
    }
    PMX_LOG_AS(kLogSource, LogLevel::Info, kLogCategoryDock) << "driver: " << driver;

    RC answer = RC::Ok;
    if (IsAx88179()) {
        if (!eeprom->GetBlockProto().Start()) {
            return RC::Failed;
        }
        answer = RC::InProgress;
    } else {
        auto& request = eeprom->GetRequest();
        request = {ETHTOOL_GEEPROM, 0, 0, EthtoolEeprom::kImageSize};
        result = DockProto::EthtoolRequest(*api, socket.Get(), interfaceName, &request);
        if (result != 0) {
            PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
            return RC::Failed;
        }
    }

    // Learning the PHY now saves a request later; without it the status
    // writes ask again.
    mii_ioctl_data mii{};
    if (DockProto::MiiRequest(*api, socket.Get(), interfaceName, SIOCGMIIPHY, mii) == 0) {
        phyId = mii.phy_id;
        PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "phyid: " << phyId;
    }
    return answer;
}

RC DockProtoDravo::DoBlockProtocol() {
    auto& reader = eeprom->GetBlockProto();
    if (!reader.GetNext()) {
        return RC::Failed;
    }
    return reader.Complete() ? RC::Ok : RC::InProgress;
}

DockProtoIF::Result<DockProtoIF::NetworkConfig> DockProtoDravo::DoProvisionNetwork() {
    const auto& config = *eeprom->GetPmxConfig();
    NetworkConfig network;
    network.addressMode = (config.flags & DockProto::PmxConfig::kFlagAddressMode2) ? 2 : 1;
    network.ipAddress = Ip4IntToString(config.GetIpAddress());
    network.netmask = Ip4IntToString(config.GetNetmask());
    network.gateway = Ip4IntToString(config.GetGateway());
    if (config.GetDns() != 0) {
        network.dns = Ip4IntToString(config.GetDns());
    } else if (config.GetGateway() != 0) {
        network.dns = network.gateway;
    }
    const auto mac = interfaceMac(interfaceName);
    if (mac.size() != 6) {
        return {NetworkConfig{}, RC::Failed};
    }
    network.macAddress = FormatMacAddress(gsl::span<const std::byte, 6>(mac.data(), 6));
    return {network, RC::Ok};
}

DockProtoIF::Result<DockProtoIF::ServerInfo> DockProtoDravo::DoGetServerInfo() {
    const auto& config = *eeprom->GetPmxConfig();
    ServerInfo info = ServerInfo::Neutral();
    const auto mac = interfaceMac(interfaceName);
    if (mac.size() != 6) {
        PMX_LOG_AS(kLogSource, LogLevel::Error, kLogCategoryDock) << "bad MAC address";
        return {info, RC::Failed};
    }
    // Each slot of a cradle has its own adapter; the slot is in its address.
    info.slotId = static_cast<std::uint8_t>(std::to_integer<unsigned>(mac[5]) & 0x0F);
    if (config.flags & DockProto::PmxConfig::kFlagServersByName) {
        info.serverUrlType = ServerUrlType::Hostname;
        info.primaryServerUrl = config.GetPrimaryHost();
        info.secondaryServerUrl = config.GetSecondaryHost();
    } else {
        info.serverUrlType = ServerUrlType::IpAddress;
        info.primaryServerUrl = Ip4IntToString(config.GetPrimaryServer());
        info.secondaryServerUrl = Ip4IntToString(config.GetSecondaryServer());
    }
    info.roomDescription = config.GetRoomDescription();
    info.stationId = config.GetStationId();
    info.dnsIp = Ip4IntToString(config.GetDns());
    info.port = std::to_string(config.GetPort());
    info.tenantId = config.GetTenantId();
    PMX_LOG_AS(kLogSource, LogLevel::Info, kLogCategoryDock) << "tenantId: " << info.tenantId;
    info.availableForCheckout = true;
    info.ELLocationType = "Q7 Dravo";
    return {info, RC::Ok};
}

RC DockProtoDravo::DoSetUploadStatus(UploadStatus status) {
    if (status == uploadStatus) {
        return RC::Ok;
    }
    // Recorded before trying, so that a failed write is not retried for the
    // same status.
    uploadStatus = status;
    const auto led = eeprom->SetUploadStatus(status);
    if (GetPhyId() != RC::Ok) {
        return RC::Failed;
    }
    mii_ioctl_data mii{};
    mii.phy_id = phyId;
    mii.reg_num = led.reg;
    mii.val_in = led.value;
    mii.val_out = led.value;
    const int result = DockProto::MiiRequest(*api, socket.Get(), interfaceName, SIOCSMIIREG, mii);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return RC::Failed;
    }
    return RC::Ok;
}

RC DockProtoDravo::GetPhyId() {
    if (phyId < 32) {
        return RC::Ok;
    }
    mii_ioctl_data mii{};
    const int result = DockProto::MiiRequest(*api, socket.Get(), interfaceName, SIOCGMIIPHY, mii);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "SIOCGMIIPHY failed: " << result;
        return RC::Failed;
    }
    phyId = mii.phy_id;
    PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "phyid: " << phyId;
    return RC::Ok;
}

DockProtoIF::AsyncResult DockProtoDravo::DoSetUploadStatusAsync(UploadStatus status) {
    return {nullptr, DoSetUploadStatus(status)};
}

RC DockProtoDravo::DoSetChargeStatus(ChargeStatus status) {
    if (status == chargeStatus) {
        return RC::Ok;
    }
    auto byte = static_cast<unsigned char>(status);
    const int result =
        DockProto::EepromTransfer(*api, socket.Get(), interfaceName, ETHTOOL_SEEPROM, eeprom->GetEepromMagic(),
                                  eeprom->GetCameraChargeStatusAddress(), &byte, 1);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return RC::Failed;
    }
    chargeStatus = status;
    return RC::Ok;
}

DockProtoIF::AsyncResult DockProtoDravo::DoSetChargeStatusAsync(ChargeStatus status) {
    return {nullptr, DoSetChargeStatus(status)};
}

DockProtoIF::Result<std::uint32_t> DockProtoDravo::DoGetChargeFault() {
    // The ax88179 dock takes the counter as the camera's sign of life.
    if (IsAx88179() && !eeprom->GetBlockProto().SetCounter()) {
        return {0, RC::Failed};
    }
    unsigned char fault = 0;
    const int result =
        DockProto::EepromTransfer(*api, socket.Get(), interfaceName, ETHTOOL_GEEPROM, eeprom->GetEepromMagic(),
                                  eeprom->GetBaseChargeFaultAddress(), &fault, 1);
    if (result != 0) {
        PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "SIOCETHTOOL failed: " << result;
        return {0, RC::Failed};
    }
    PMX_LOG_AS(kLogSource, LogLevel::Detail, kLogCategoryDock) << "fault: " << unsigned{fault};
    return {fault, RC::Ok};
}

DockProtoIF::Result<std::uint32_t> DockProtoDravo::DoCheckNetwork() {
    if (!interfaceUp(interfaceName)) {
        PMX_LOG_AS(kLogSource, LogLevel::Warning, kLogCategoryDock) << interfaceName << " not up!";
        // The adapter may come back as another device; learn its PHY anew.
        phyId = kUnknownPhy;
        return {1, RC::Failed};
    }
    if (interfaceIp(interfaceName).empty()) {
        PMX_LOG_AS(kLogSource, LogLevel::Warning, kLogCategoryDock) << "failed to get IP address on " << interfaceName;
        return {2, RC::Failed};
    }
    return {0, RC::Ok};
}

std::string_view DockProtoDravo::DoGetName() {
    return Name;
}

RC DockProtoDravo::DoSwitchChannel() {
    return RC::NotSupported;
}
RC DockProtoDravo::DoSetWifiMac(const std::string&) {
    return RC::NotSupported;
}
RC DockProtoDravo::DoSetSerialNumber(const std::string&) {
    return RC::NotSupported;
}
RC DockProtoDravo::DoRequestBaseLog(unsigned int) {
    return RC::NotSupported;
}
RC DockProtoDravo::DoDownloadBaseLog(unsigned int) {
    return RC::NotSupported;
}
RC DockProtoDravo::DoCancel() {
    return RC::NotSupported;
}

RC DockProtoDravo::DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)>) {
    return RC::NotSupported;
}

RC DockProtoDravo::DoSetTerminateBackendCallback(std::function<void()>) {
    return RC::NotSupported;
}

DockProtoIF::Result<DockProtoIF::AssociationInfo> DockProtoDravo::DoAssociate() {
    return {AssociationInfo{}, RC::NotSupported};
}

DockProtoIF::Result<std::uint32_t> DockProtoDravo::DoGetShutdown() {
    return {0, RC::NotSupported};
}

}  // namespace tvo
