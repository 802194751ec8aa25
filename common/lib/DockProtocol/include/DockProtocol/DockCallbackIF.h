#pragma once

#include <DockProtocol/Export.h>

namespace tvo {

// Implemented by the host and handed to the factory. The library never calls
// through a plain DockCallbackIF; docks that call back check for their own
// derived interface.
class PMX_DOCKPROTOCOL_API DockCallbackIF {
public:
    // Pure, so that only the host's own derived classes can be made.
    virtual ~DockCallbackIF() = 0;
};

inline DockCallbackIF::~DockCallbackIF() = default;

}  // namespace tvo
