#pragma once

namespace tvo {

// Implemented by the host and handed to the factory. The library never calls
// through a plain DockCallbackIF; docks that call back check for their own
// derived interface.
class DockCallbackIF {
public:
    virtual ~DockCallbackIF() = default;
};

}  // namespace tvo
