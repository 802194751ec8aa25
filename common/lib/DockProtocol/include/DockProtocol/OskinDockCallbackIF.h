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

class PMX_DOCKPROTOCOL_API OskinDockCallbackIF : public DockCallbackIF {
public:
    struct Capability {
        std::string name;
        std::map<std::string, std::string> options;
    };

    struct ProvisioningStatus {
        bool provisioned = false;
        // The host's own description of its provisioning; the library never reads it.
        std::string detail;
        // UUID text of the tenant the camera belongs to, or empty.
        std::string currentTenantId;
    };

    // The base reported that the connection is ready.
    virtual void OnConnectionReady() = 0;
    // Where the base can fetch the camera configuration; empty when none is available.
    virtual std::string GetCameraConfigUri() = 0;
    virtual std::vector<Capability> GetCameraCapabilities() = 0;
    virtual bool IsUsbDeviceProvisioned() = 0;
    virtual ProvisioningStatus GetProvisioningStatus() = 0;
};

}  // namespace tvo
