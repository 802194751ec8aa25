#pragma once
// The USB gadget link that the REST docks bring up once before they serve.

#include <Connect/ConnMan.h>
#include <Logger/LogClient.h>

#include <functional>

namespace tvo {

enum class GadgetLink { AlreadyUp, BroughtUp, Failed };

// Brings the gadget link up unless gadgetUp says it already is, and sets
// gadgetUp when it comes up. The lines are logged as the caller's (pass
// PMX_LOG_SITE), the failure only when logFailure: each dock keeps its own
// rule of how often to repeat it.
GadgetLink BringUpUsbGadget(const std::function<connman::ToggleResult(connman::ConnectionType, bool)>& toggle,
                            bool& gadgetUp, bool logFailure, const LogSite& caller);

}  // namespace tvo
