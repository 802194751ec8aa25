/// \file
/// `tvo::DockProtoPallix`, the protocol object of the Pallix dock.
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

/// The Pallix dock: a UDP hello on the USB link, hosts-file entries and an
/// HTTP open request that answers the server information.
///
/// Typical road: SayHello() (Failed: no dock heard yet; call again),
/// SetSerialNumber(), GetServerInfo(). Everything else is NotSupported.
///
/// SayHello() listens on UDP port 9009 of "usb0" for the dock's hello
/// (`KORVEL-PSS-HELLO ... acsp=<agent port>`) and enters the sender's IPv6
/// address as "pallix-dock.local" in /etc/hosts. GetServerInfo() posts
/// `{"did":"<serial number>"}` to `http://pallix-dock.local:<agent port>/emapi/open`
/// over "usb0", enters the answer's `connectHost` as "pallix-proxy.local" and
/// returns the server with its proxy (PallixEnvironment). Each of these names
/// keeps one entry: an earlier one is replaced, other lines stay. The
/// process must be allowed to bind to "usb0" and to rewrite the hosts file.
///
/// Threads: everything runs on the calling host thread (the wait for the
/// hello too); cpprestsdk's pool runs and completes the open request. Cancel()
/// may be called from another thread while GetServerInfo() waits; nothing
/// else of one object may run at the same time.
class PMX_DOCKPROTOCOL_API DockProtoPallix : public DockProtoIF {
public:
    /// The registry key and GetName(): "Pallix".
    static constexpr std::string_view Name = "Pallix";

    // The registry's constructor; both arguments are ignored.
    /// The production object, as InterfaceFactory::Create() makes it; both
    /// arguments are ignored.
    DockProtoPallix(std::string_view, DockCallbackIF*);
    // Interface, ports, hosts file, host names and sleeps from the environment.
    /// Interface, ports, hosts file, host names and sleeps from `environment`
    /// (tests, simulators).
    explicit DockProtoPallix(const ProtocolEnvironment& environment);
    /// Releases the object; hosts-file entries stay.
    ~DockProtoPallix() override;

protected:
    /// Waits up to about 1.2 s on the calling thread for the dock's UDP hello, enters its sender as
    /// the dock host and learns the agent port: Ok. Failed when no hello came, the socket or the
    /// hosts file could not be used, or the datagram was no hello.
    ReturnCode DoSayHello() override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoBlockProtocol() override;
    /// An empty NetworkConfig, NotSupported.
    Result<NetworkConfig> DoProvisionNetwork() override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoSwitchChannel() override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoSetWifiMac(const std::string& mac) override;
    /// Keeps the serial number for the open request (`did`); Ok.
    ReturnCode DoSetSerialNumber(const std::string& serial) override;
    /// An empty AssociationInfo, NotSupported.
    Result<AssociationInfo> DoAssociate() override;
    /// Up to three open requests to the dock's agent, blocking, each within the HTTP client's
    /// default time limit: Ok with the server, tenant, proxy (`http://pallix-dock.local:<connectPort>`),
    /// IPv6 and DNS 8.8.8.8. Failed after three failed attempts, after Cancel(), or at once when the
    /// hello named no usable agent port.
    Result<ServerInfo> DoGetServerInfo() override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetShutdown() override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoSetUploadStatus(UploadStatus status) override;
    /// No handle, NotSupported.
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoSetChargeStatus(ChargeStatus status) override;
    /// No handle, NotSupported.
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetChargeFault() override;
    /// "Pallix".
    std::string_view DoGetName() override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoRequestBaseLog(unsigned int tick) override;
    /// NotSupported; the dock offers no such service.
    ReturnCode DoDownloadBaseLog(unsigned int tick) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoCheckNetwork() override;
    /// NotSupported; the function is dropped.
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override;
    /// NotSupported; the function is dropped.
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override;
    /// Stops a GetServerInfo() running on another thread, which then answers Failed; Ok, also when
    /// none runs.
    ReturnCode DoCancel() override;

private:
    std::unique_ptr<DockProtoPallixImpl> impl;
};

}  // namespace tvo
