/// \file
/// `tvo::DockProtoDravo`, the protocol object of the Dravo cradle.
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

/// The Dravo cradle, reached only through the EEPROM and PHY of its
/// USB-Ethernet adapter (DravoEnvironment::interfaceName, "eth0").
///
/// Typical road: SayHello(); BlockProtocol() while it answers InProgress;
/// ProvisionNetwork(); GetServerInfo(); then, while docked,
/// SetUploadStatus(), SetChargeStatus(), GetChargeFault() and CheckNetwork().
/// Two adapter chips are served: a LAN78xx cradle leaves the configuration in
/// place and SayHello() reads it whole; an ax88179 cradle hands it over in six
/// blocks (DockProto::BlockProto).
///
/// Every operation runs on the calling thread with ioctls on the adapter
/// (the process needs CAP_NET_ADMIN for them); nothing is sent on the network
/// and no thread is started. SayHello(), BlockProtocol() and GetChargeFault() may
/// block up to 750 ms in the handshake. The call-back pointer is ignored.
class PMX_DOCKPROTOCOL_API DockProtoDravo : public DockProtoIF {
public:
    /// The registry key and GetName(): "Dravo".
    static constexpr std::string_view Name = "Dravo";

    // The registry's constructor; both arguments are ignored.
    /// The production object, as InterfaceFactory::Create() makes it; both
    /// arguments are ignored.
    DockProtoDravo(std::string_view, DockCallbackIF*);
    // Injection of the ioctl seam and the EEPROM copy (a null EEPROM gets a
    // default one); everything else is the production setting.
    /// Takes the object's own ioctl seam and EEPROM copy (null: a fresh one);
    /// everything else, the block handshake's ioctls included, is production.
    DockProtoDravo(std::unique_ptr<LinuxApiIF> api, std::unique_ptr<DockProto::EthtoolEeprom> eeprom);
    // Interface, ioctls, network helpers and sleeps all from the environment,
    // so that one emulated cradle serves this object and its block transfer.
    /// Everything from `environment`, so that one emulated cradle serves this
    /// object and its block handshake alike. A null `eeprom` gets a fresh one.
    explicit DockProtoDravo(const ProtocolEnvironment& environment,
                            std::unique_ptr<DockProto::EthtoolEeprom> eeprom = nullptr);
    /// Closes the object's ioctl sockets.
    ~DockProtoDravo() override;

    /// The camera's copy of the adapter EEPROM, for tools and tests (for example
    /// the block count of the handshake).
    const DockProto::EthtoolEeprom& GetEeprom() const { return *eeprom; }

protected:
    /// Learns the adapter chip from its driver; LAN78xx: reads the whole EEPROM (Ok); ax88179:
    /// takes the first block (InProgress). Failed when the adapter does not answer.
    ReturnCode DoSayHello() override;
    /// Takes the next configuration block: InProgress, Ok after the sixth, Failed when the
    /// handshake fails.
    ReturnCode DoBlockProtocol() override;
    /// The camera's network settings from the configuration block; Failed (empty record) when the
    /// adapter's MAC cannot be read.
    Result<NetworkConfig> DoProvisionNetwork() override;
    /// NotSupported; the cradle has no such service.
    ReturnCode DoSwitchChannel() override;
    /// NotSupported; the cradle has no such service.
    ReturnCode DoSetWifiMac(const std::string& mac) override;
    /// NotSupported; the cradle has no such service.
    ReturnCode DoSetSerialNumber(const std::string& serial) override;
    /// An empty AssociationInfo, NotSupported.
    Result<AssociationInfo> DoAssociate() override;
    /// The server from the configuration block, slot from the adapter's MAC, location type "Q7
    /// Dravo", Ok; the neutral record with Failed when the MAC cannot be read.
    Result<ServerInfo> DoGetServerInfo() override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetShutdown() override;
    /// Writes the status pattern into the adapter's PHY register; Ok at once when the status is the
    /// last one set (even if that write failed).
    ReturnCode DoSetUploadStatus(UploadStatus status) override;
    /// SetUploadStatus(), done at once; never a handle.
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override;
    /// Writes the status as one EEPROM byte; Ok at once when it was written before. Starts from
    /// ChargeStatus::Unknown.
    ReturnCode DoSetChargeStatus(ChargeStatus status) override;
    /// SetChargeStatus(), done at once; never a handle.
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override;
    /// The base's fault byte, read from the adapter EEPROM (ax88179: after a handshake counter
    /// tick).
    Result<std::uint32_t> DoGetChargeFault() override;
    /// "Dravo".
    std::string_view DoGetName() override;
    /// NotSupported; the cradle has no such service.
    ReturnCode DoRequestBaseLog(unsigned int tick) override;
    /// NotSupported; the cradle has no such service.
    ReturnCode DoDownloadBaseLog(unsigned int tick) override;
    /// 0 and Ok when the adapter is up with an address; 1 (down; the PHY is learnt anew) or 2 (no
    /// address) with Failed.
    Result<std::uint32_t> DoCheckNetwork() override;
    /// NotSupported; the function is dropped.
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override;
    /// NotSupported; the function is dropped.
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override;
    /// NotSupported: nothing of this dock can be cancelled.
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
