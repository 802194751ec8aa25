#pragma once
// The Dravo cradle, reached only through the EEPROM and PHY of its USB-Ethernet
// adapter: configuration in, upload status as a PHY register, charge status
// and charge fault as EEPROM bytes.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/EthtoolEeprom.h>

#include <Common/LinuxApi.h>
#include <FileDescriptor/FileDescriptor.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tvo {

struct ProtocolEnvironment;

class PMX_DOCKPROTOCOL_API DockProtoDravo : public DockProtoIF {
public:
    static constexpr std::string_view Name = "Dravo";

    // The registry's constructor; both arguments are ignored.
    DockProtoDravo(std::string_view, DockCallbackIF*);
    // Injection of the ioctl seam and the EEPROM copy (a null EEPROM gets a
    // default one); everything else is the production setting.
    DockProtoDravo(std::unique_ptr<LinuxApiIF> api, std::unique_ptr<DockProto::EthtoolEeprom> eeprom);
    // Interface, ioctls, network helpers and sleeps all from the environment,
    // so that one emulated cradle serves this object and its block transfer.
    explicit DockProtoDravo(const ProtocolEnvironment& environment,
                            std::unique_ptr<DockProto::EthtoolEeprom> eeprom = nullptr);
    ~DockProtoDravo() override;

    const DockProto::EthtoolEeprom& GetEeprom() const { return *eeprom; }

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
    DockProtoDravo(std::unique_ptr<LinuxApiIF> api, std::unique_ptr<DockProto::EthtoolEeprom> eeprom,
                   const ProtocolEnvironment& environment);

    ReturnCode GetPhyId();
    bool IsAx88179() const { return eeprom->IsAx88179(); }

    static constexpr std::uint16_t kUnknownPhy = 255;

    UploadStatus uploadStatus = static_cast<UploadStatus>(0);
    ChargeStatus chargeStatus = static_cast<ChargeStatus>(4);
    std::unique_ptr<LinuxApiIF> api;
    FileDescriptor socket;
    std::unique_ptr<DockProto::EthtoolEeprom> eeprom;
    std::uint16_t phyId = kUnknownPhy;

    std::string interfaceName;
    std::function<std::vector<std::byte>(std::string_view)> interfaceMac;
    std::function<bool(std::string_view)> interfaceUp;
    std::function<std::string(std::string_view)> interfaceIp;
};

}  // namespace tvo
