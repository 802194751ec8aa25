#include "UsbGadgetLink.h"

#include <Logger/LogClient.h>

namespace tvo {

GadgetLink BringUpUsbGadget(const std::function<connman::ToggleResult(connman::ConnectionType, bool)>& toggle,
                            bool& gadgetUp, bool logFailure, const LogSite& caller) {
    if (gadgetUp) {
        return GadgetLink::AlreadyUp;
    }
    if (LogClient::LevelIsEnabled(LogLevel::Info)) {
        LogClient(caller, LogLevel::Info, kLogCategoryRest) << "Startup the USB Gadget Interface";
    }
    const auto toggled = toggle(connman::ConnectionType::UsbGadget, true);
    if (!toggled.success) {
        if (logFailure && LogClient::LevelIsEnabled(LogLevel::Error)) {
            LogClient(caller, LogLevel::Error, kLogCategoryRest)
                << "Failed to start up USB Gadget interface: " << toggled.error;
        }
        return GadgetLink::Failed;
    }
    gadgetUp = true;
    return GadgetLink::BroughtUp;
}

}  // namespace tvo
