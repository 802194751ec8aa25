/// \file
/// `tvo::OskinDockCallbackIF`, through which the host answers an Oskin base.
#pragma once
// What the Oskin dock's base asks the camera's host, answered on the REST
// server's threads. The host hands an object of this type to the factory
// (as its DockCallbackIF) and keeps it alive longer than the protocol object.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockCallbackIF.h>

#include <map>
#include <string>
#include <vector>

namespace tvo {

/// The host's answers to an Oskin base's questions.
///
/// Implement it and hand it to InterfaceFactory::Create() for "Oskin" (or to
/// a DockProtoOskin constructor); keep it alive longer than the protocol
/// object. Every operation is called on the camera's REST server thread,
/// one request at a time, while the base waits for the reply: answer
/// quickly, and do not destroy the protocol object from inside a call (the
/// request still needs it). A `std::exception` thrown here is answered to the
/// base as a 400 error record.
class PMX_DOCKPROTOCOL_API OskinDockCallbackIF : public DockCallbackIF {
public:
    /// One capability of the camera, as the base is told it.
    struct Capability {
        /// The capability's name ("video", "gps", ...).
        std::string name;
        /// Its settings, key to value; may be empty.
        std::map<std::string, std::string> options;
    };

    /// Whether and for which tenant the camera is provisioned.
    struct ProvisioningStatus {
        /// True once the camera belongs to a tenant. While false, any tenant's
        /// server information is accepted.
        bool provisioned = false;
        // The host's own description of its provisioning; the library never reads it.
        /// Free text for the host's own use.
        std::string detail;
        // UUID text of the tenant the camera belongs to, or empty.
        /// While provisioned, a pushed `set_server_info` is accepted only for this tenant.
        std::string currentTenantId;
    };

    // The base reported that the connection is ready.
    /// Called for the base's `connection_ready`.
    virtual void OnConnectionReady() = 0;
    // Where the base can fetch the camera configuration; empty when none is available.
    /// Answers `get_camera_config`. An empty text is answered to the base as error 500.
    virtual std::string GetCameraConfigUri() = 0;
    /// Answers `get_camera_capabilities`, in the order given.
    virtual std::vector<Capability> GetCameraCapabilities() = 0;
    /// Answers `usb_device_status` ("provisioned").
    virtual bool IsUsbDeviceProvisioned() = 0;
    /// Asked for each `set_server_info`, to decide whether the pushed server
    /// information is accepted (the tenant check).
    virtual ProvisioningStatus GetProvisioningStatus() = 0;
};

}  // namespace tvo
