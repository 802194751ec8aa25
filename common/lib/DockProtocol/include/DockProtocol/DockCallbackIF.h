/// \file
/// `tvo::DockCallbackIF`, the base of the host's call-back objects.
#pragma once

#include <DockProtocol/Export.h>

namespace tvo {

// Implemented by the host and handed to the factory. The library never calls
// through a plain DockCallbackIF; docks that call back check for their own
// derived interface.
/// Base of the call-back object the host hands to InterfaceFactory::Create().
///
/// Only the Oskin dock uses one: pass an OskinDockCallbackIF (or null) for
/// "Oskin" and keep it alive longer than the protocol object. Every other
/// dock kind ignores the pointer, so null is fine there.
class PMX_DOCKPROTOCOL_API DockCallbackIF {
public:
    // Pure, so that only the host's own derived classes can be made.
    /// Destroys the host's object; the library never deletes it.
    virtual ~DockCallbackIF() = 0;
};

inline DockCallbackIF::~DockCallbackIF() = default;

}  // namespace tvo
