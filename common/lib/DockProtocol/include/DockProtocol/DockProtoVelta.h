/// \file
/// `tvo::DockProtoVelta`, the protocol object of the Velta dock.
#pragma once
// The Velta dock: REST with JSON bodies over the USB gadget link, both ways.
// The camera greets the base, announces itself and asks for the server
// description; the base approves the camera, reports its charge state and
// orders shutdowns through the camera's own inbound server. The host's
// shutdown and terminate call-backs run on that server's threads, and the
// base gets its reply once they return.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tvo {

struct ProtocolEnvironment;
class DockProtoVeltaImpl;

namespace rest {
/// Link status of an upload report as the Velta base counts it
/// (2 pending, 3 uploading, 4 error).
using UploadLinkStatus = std::uint32_t;
}  // namespace rest

/// The Velta dock: REST with JSON bodies over the USB gadget link, both ways.
///
/// Typical road: SayHello() until Ok; SetWifiMac() and SetSerialNumber();
/// SetShutdownCallback() and SetTerminateBackendCallback(); Associate() until
/// Ok; GetServerInfo(); then, while docked, SetUploadStatus() or
/// SetUploadStatusAsync(), SetChargeStatus() or SetChargeStatusAsync(),
/// GetChargeFault(), and RequestBaseLog() until Ok followed by
/// DownloadBaseLog().
///
/// The camera sends PUT requests to the base at
/// `http://192.168.99.1:55006/UsbRest/1.0?type=<msg_type>` (the log download
/// is a GET of the bare path) and serves the base's requests at
/// `192.168.99.2:55006/UsbRest/1.0` (VeltaEnvironment).
/// Threads: the host's thread calls the operations, and the blocking ones wait
/// there; cpprestsdk's pool runs and completes the outbound requests. The inbound
/// server, started by SayHello(), has one thread of its own: the base's
/// approval, charge report, ignition and shutdown notices, `shutdown_now`,
/// `terminate_backend_operations`, firmware and configuration requests are
/// handled there, one at a time, and the host's shutdown and terminate
/// call-backs run there; the base gets its reply once they return. What both
/// sides share is locked inside.
class PMX_DOCKPROTOCOL_API DockProtoVelta : public DockProtoIF {
public:
    /// The registry key and GetName(): "Velta".
    static constexpr std::string_view Name = "Velta";

    // The registry's constructor; both arguments are ignored. Starts nothing.
    /// The production object, as InterfaceFactory::Create() makes it; both
    /// arguments are ignored. Starts nothing: SayHello() does.
    DockProtoVelta(std::string_view name, DockCallbackIF* callback);
    // Endpoints, gadget link, connection-manager calls and files from the
    // environment instead of the production setting.
    /// Endpoints, time limits, gadget link, connection-manager calls and files
    /// from `environment` (tests, simulators) instead of the production setting.
    explicit DockProtoVelta(const ProtocolEnvironment& environment);
    /// Stops the inbound server and waits for the request it is serving. May be
    /// called from the shutdown or terminate call-back itself (the base's reply
    /// to that order is then dropped). Request handles the host still holds are
    /// not cancelled.
    ~DockProtoVelta() override;

    /// Writes the downloaded base log from the first occurrence of `tick`
    /// (decimal text) on into the trimmed copy (FileEnvironment).
    /// \return 1 when the log was cut there (the trimmed copy is written, or
    ///         removed when it could not be), 0 when the whole log stands:
    ///         `tick` 0, no copy to read, or `tick` not found.
    std::uint32_t TrimBaseLogFile(unsigned int tick) override;

protected:
    /// Brings up the USB gadget link (once), starts the inbound server and asks the base for its
    /// version (up to 4 tries of VeltaEnvironment::helloTimeout each). Ok even when the base does
    /// not answer; InProgress while the server cannot listen; Failed when the link cannot be
    /// brought up.
    ReturnCode DoSayHello() override;
    /// NotSupported; the base offers no such service.
    ReturnCode DoBlockProtocol() override;
    /// An empty NetworkConfig, NotSupported.
    Result<NetworkConfig> DoProvisionNetwork() override;
    /// NotSupported; the base offers no such service.
    ReturnCode DoSwitchChannel() override;
    /// Keeps the MAC text for the announcement; Ok.
    ReturnCode DoSetWifiMac(const std::string& mac) override;
    /// Keeps the serial number for the announcement; Ok.
    ReturnCode DoSetSerialNumber(const std::string& serial) override;
    /// Sends `device_announement_usb` when due (InProgress, or Failed when it could not be sent);
    /// returns the base's approval with Ok once it arrived on the inbound server, else InProgress.
    Result<AssociationInfo> DoAssociate() override;
    /// Asks the base (`get_server_info`) for room and station; location type "Q7 Velta",
    /// ServerUrlType::LocationOnly. Always Ok: without an answer, room "Unknown" and station
    /// "Velta".
    Result<ServerInfo> DoGetServerInfo() override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoGetShutdown() override;
    /// Sends `upload_status` when the link status changed (else Ok at once); Ok on a 200 answer,
    /// else Failed. NotSupported for 0, 5 and beyond.
    ReturnCode DoSetUploadStatus(UploadStatus status) override;
    /// Starts `upload_status` when the link status changed: InProgress and a handle; Ok without one
    /// when nothing was due; NotSupported for 0, 5 and beyond.
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override;
    /// Sends `charge_status`; Ok on a 200 answer, else Failed.
    ReturnCode DoSetChargeStatus(ChargeStatus status) override;
    /// Starts `charge_status`: InProgress and a handle; Failed without one when it could not start.
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override;
    /// The fault code of the base's last `charge_status` report (0, 2, 7 or 8), Ok.
    Result<std::uint32_t> DoGetChargeFault() override;
    /// "Velta".
    std::string_view DoGetName() override;
    /// Sends `request_base_log` with the tick: Ok when the base answers "LogReady", InProgress for
    /// another answer, NotSupported on 400, Failed otherwise.
    ReturnCode DoRequestBaseLog(unsigned int tick) override;
    /// Downloads the base's log (GET on the base path, at most VeltaEnvironment::logDownloadLimit),
    /// trims it at `tick` and copies it into a fresh named pipe; blocks until a reader took it all.
    ReturnCode DoDownloadBaseLog(unsigned int tick) override;
    /// 0, NotSupported.
    Result<std::uint32_t> DoCheckNetwork() override;
    /// Sets the function `shutdown_now` calls (with Shutdown::Immediate); Ok. Safe from any thread,
    /// also while an order runs.
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override;
    /// Sets the function `terminate_backend_operations` calls; Ok. Safe from any thread.
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override;
    /// NotSupported: blocking requests end by their time limits, started ones through their
    /// RestHandle.
    ReturnCode DoCancel() override;

private:
    // Whether an upload report for this link status is due; remembers it when
    // it is, before the report's outcome is known.
    bool CheckLinkStatusChanged(rest::UploadLinkStatus status);

    std::unique_ptr<DockProtoVeltaImpl> impl;
    rest::UploadLinkStatus lastLinkStatus = 0;  // last upload link status sent
};

}  // namespace tvo
