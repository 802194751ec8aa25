// The base's requests for the firmware package and the camera configuration.
// The camera does not serve them yet: they are answered as a message type the
// camera does not know, so that the base falls back as it does for an older
// camera.

#include "DockProtoVeltaImpl.h"

#include <Logger/LogClient.h>

namespace tvo {
namespace {

constexpr std::string_view kSource = "common/lib/DockProtocol/src/VeltaInboundFirmware.cpp";

std::string NotServed(rest::Message message) {
    const std::string unsupported = "Unsupported message type: " + std::string(rest::MessageType(message));
    PMX_LOG(kSource, LogLevel::Info, kLogCategoryRest) << unsupported;
    return unsupported;
}

}  // namespace

std::string DockProtoVeltaImpl::ProcessGetUpgradePkgVersion(web::json::value&) {
    return NotServed(rest::Message::GetUpgradePkgVersion);
}

std::string DockProtoVeltaImpl::ProcessGetUpgradePkg(web::json::value&) {
    return NotServed(rest::Message::GetUpgradePkg);
}

std::string DockProtoVeltaImpl::ProcessGetCameraConfig(web::json::value&) {
    return NotServed(rest::Message::GetCameraConfig);
}

}  // namespace tvo
