#pragma once
// The state of a DockProtoOskin, and the conversion of the server
// information the base pushed into the ServerInfo the host uses.

#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestMessages.h>

#include "OskinRestServerImpl.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tvo {

class DockProtoUsbImpl {
public:
    DockProtoUsbImpl(const ProtocolEnvironment& environment, DockCallbackIF* callback);

    // The server's fields checked and converted; the bool says whether the
    // result names a usable server (an address and a port). The record is
    // meaningful either way.
    static std::pair<DockProtoIF::ServerInfo, bool> ToServerInfo(const rest::SetServerInfoElement& info);
    // A tenant identifier without the blanks, control characters, '\\' and
    // '?' that bases are known to send along with it.
    static std::string CleanTenantId(std::string_view tenantId);

    std::unique_ptr<OskinRestServerImpl> server;
    bool usbGadgetUp = false;
    DockCallbackIF* callback;

    OskinEnvironment endpoint;
    TransportEnvironment transport;
    std::function<void(std::string_view, std::string_view)> pruneProvisionFile;
    std::function<connman::ToggleResult(connman::ConnectionType, bool)> toggleConnection;
};

}  // namespace tvo
