/// \file
/// `tvo::DockProtoOskin`, the protocol object of the Oskin dock.
#pragma once
// The Oskin dock: the camera brings up the USB gadget link and serves a REST
// interface; the base says hello, reads the camera's configuration,
// capabilities and provisioning state and pushes the server information.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvo {

struct ProtocolEnvironment;
class DockProtoUsbImpl;

/// The Oskin dock: the base is the client of a REST server on the camera.
///
/// Typical road: SayHello() (once, until it is no longer InProgress), then
/// GetServerInfo() whenever the host needs the server; it answers
/// ServerUrlType::LocationOnly until the base has pushed usable server
/// information. Everything else is NotSupported.
///
/// SayHello() brings up the USB gadget link and starts the camera's REST
/// server at `http://127.0.0.1:55006/api/` (OskinEnvironment). The base sends
/// PUT `say_hello`, `connection_ready` and `set_server_info`, and GET
/// `get_camera_config`, `get_camera_capabilities` and `usb_device_status`;
/// an optional `api-version` query is read. The server has one thread of its
/// own and handles one request at a time there, calling the host's
/// OskinDockCallbackIF; a pushed `set_server_info` is kept only when its
/// tenant is the camera's own (any tenant while the camera is not
/// provisioned). Errors are answered with a JSON error record (400, 403, 404,
/// 500, and the transport's own 405, 413, 431).
class PMX_DOCKPROTOCOL_API DockProtoOskin : public DockProtoIF {
public:
    /// The registry key and GetName(): "Oskin".
    static constexpr std::string_view Name = "Oskin";

    // The registry's constructor; the name is ignored. The call-back must be
    // an OskinDockCallbackIF (or null) and outlive this object; it is checked
    // when SayHello starts the server.
    /// The production object, as InterfaceFactory::Create() makes it.
    /// `callback` must be an OskinDockCallbackIF or null, and outlive this object;
    /// with null, every base question that needs the host is answered 500. Starts
    /// nothing: SayHello() does.
    DockProtoOskin(std::string_view name, DockCallbackIF* callback);
    // Listening address, port and path, and the connection-manager calls from
    // the environment.
    /// Listening address, port and path, time limits and connection-manager
    /// calls from `environment` (tests, simulators); `callback` as above.
    DockProtoOskin(const ProtocolEnvironment& environment, DockCallbackIF* callback);
    /// Stops the REST server, waiting for a request it is serving, before
    /// anything else goes. Do not destroy the object from inside a call-back.
    ~DockProtoOskin() override;

protected:
    /// Brings up the USB gadget link (once; Failed when it cannot) and starts a new REST server in
    /// place of the previous one (Ok). InProgress when the server cannot start: the port is taken
    /// (also by this object's own serving server, which then keeps serving) or the call-back is not
    /// an OskinDockCallbackIF.
    ReturnCode DoSayHello() override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoBlockProtocol() override;
    /// An empty NetworkConfig, NotSupported.
    Result<NetworkConfig> DoProvisionNetwork() override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoSwitchChannel() override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoSetWifiMac(const std::string& mac) override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoSetSerialNumber(const std::string& serial) override;
    /// An empty AssociationInfo, NotSupported.
    Result<AssociationInfo> DoAssociate() override;
    /// The server information the base last pushed and that was accepted, checked and converted;
    /// station "Oskin", empty room, location type "Q7 Oskin". ServerUrlType::LocationOnly while
    /// nothing usable (an address and a port) was pushed. Always Ok.
    Result<ServerInfo> DoGetServerInfo() override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetShutdown() override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoSetUploadStatus(UploadStatus status) override;
    /// No handle, NotSupported.
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoSetChargeStatus(ChargeStatus status) override;
    /// No handle, NotSupported.
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetChargeFault() override;
    /// "Oskin".
    std::string_view DoGetName() override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoRequestBaseLog(unsigned int tick) override;
    /// NotSupported: the base calls the camera, not the other way round.
    ReturnCode DoDownloadBaseLog(unsigned int tick) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoCheckNetwork() override;
    /// NotSupported; the function is dropped.
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override;
    /// NotSupported; the function is dropped.
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override;
    /// NotSupported: nothing of this dock waits.
    ReturnCode DoCancel() override;

private:
    std::unique_ptr<DockProtoUsbImpl> impl;
};

}  // namespace tvo
