#pragma once
// The recorder's wrappers, one family per seam of the protocol environment.

#include "RecorderState.h"

#include <DockProtocol/ProtocolEnvironment.h>

#include <memory>

namespace tvo::Recording {

// HTTP clients and servers and the discovery socket.
void AttachTransport(TransportEnvironment& transport, const std::shared_ptr<Recorder::State>& state);
// Ioctls, interface queries and the connection manager.
void AttachSystem(SystemEnvironment& system, const std::shared_ptr<Recorder::State>& state);
// The hosts file's changes, seen through the file calls.
void AttachHostsFile(ProtocolEnvironment& environment, const std::shared_ptr<Recorder::State>& state);

}  // namespace tvo::Recording
