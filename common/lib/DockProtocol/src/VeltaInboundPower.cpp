// The base's requests that change the camera's state or reach the host: the
// approval of the announcement, the charge report, the ignition and shutdown
// notices, and the orders to shut down or to end back-end work. Each record is
// read completely before anything is stored, so a broken request changes
// nothing.

#include "DockProtoVeltaImpl.h"

#include <Logger/LogClient.h>

namespace tvo {
namespace {

// The base's charge_fault (after clamping to 0..4) as the host's fault code.
constexpr std::uint32_t kChargeFaultCodes[] = {0, 7, 2, 2, 8};

// Values the base may not send fall on the catch-all entry.
std::int32_t ClampNtcFault(std::int32_t raw) {
    return raw == 0 || (raw >= 2 && raw <= 6) ? raw : 6;
}
std::int32_t ClampChargeFault(std::int32_t raw) {
    return raw >= 0 && raw <= 3 ? raw : 4;
}
std::int32_t ClampShutdownState(std::int32_t raw) {
    return raw >= 0 && raw <= 3 ? raw : 0;
}

}  // namespace

void DockProtoVeltaImpl::StoreApproval(const std::function<void(AssociationInfo&)>& grant) {
    MutexLock lock(handOver);
    grant(approvedAssociation);
    approvalReceived = true;
    announcementSent = false;
}

bool DockProtoVeltaImpl::IsMQTTSupportEnabled() const {
    if (!mqttSupportFile || !mqttSupportFile->Exists()) {
        return false;
    }
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "MQTT support enabled! ";
    return true;
}

std::string DockProtoVeltaImpl::ProcessDeviceAnnouncementUSBApprovedMessage(web::json::value& body) {
    if (IsMQTTSupportEnabled()) {
        return ProcessDeviceAnnouncementElementUSBApprovedMQTTMessage(body);
    }
    const auto approval = rest::DeviceAnnouncementElementUSBApproved::FromJson(body.as_object());
    // The MQTT settings of an earlier approval stay as they were.
    StoreApproval([&approval](AssociationInfo& granted) {
        granted.ssid = approval.ssid;
        granted.psk = approval.psk;
        granted.ipAddr = approval.ip_addr;
        granted.macId = approval.mac_id;
    });
    return "OK";
}

std::string DockProtoVeltaImpl::ProcessDeviceAnnouncementElementUSBApprovedMQTTMessage(web::json::value& body) {
    PMX_LOG(LogLevel::Detail, kLogCategoryRest)
        << "MQTT support enabled, processing DeviceAnnouncementElementUSBApprovedMQTT msg";
    const auto approval = rest::DeviceAnnouncementElementUSBApprovedMQTT::FromJson(body.as_object());
    StoreApproval([&approval](AssociationInfo& granted) {
        granted.ssid = approval.ssid;
        granted.psk = approval.psk;
        granted.ipAddr = approval.ip_addr;
        granted.macId = approval.mac_id;
        granted.mqttAddress = approval.mqtt_address;
        granted.mqttPassword = approval.mqtt_password;
        granted.mqttCertificate = approval.mqtt_certificate;
        granted.mqttPortNumber = approval.mqtt_port_number;
    });
    return "OK";
}

std::string DockProtoVeltaImpl::ProcessChargeStatusFromDock(web::json::value& body) {
    const auto report = rest::ChargeStatusElement::FromJson(body.as_object());
    const std::int32_t ntcFault = ClampNtcFault(report.charge_ntcfault);
    const std::int32_t fault = ClampChargeFault(report.charge_fault);
    // The ntc value is only logged: a charge_fault of 0 means no fault, even
    // with an ntc reading beside it.
    const std::uint32_t code = kChargeFaultCodes[fault];
    {
        MutexLock lock(handOver);
        chargeFault = code;
    }
    PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "Velta has a charging fault, raw ntcfault value =" << ntcFault
                                                << " or raw chargeFault value = " << fault << " translates to " << code;
    return "OK";
}

std::string DockProtoVeltaImpl::ProcessSetIgnitionState(web::json::value& body) {
    const auto state = rest::SetIgnitionStateElement::FromJson(body.as_object());
    PMX_LOG(LogLevel::Info, kLogCategoryRest)
        << "Recevied Set Ignition State mesasge: state = " << state.ignitition_state;
    return "Received";
}

std::string DockProtoVeltaImpl::ProcessSetShutdownState(web::json::value& body) {
    const auto state = rest::SetShutdownStateElement::FromJson(body.as_object());
    PMX_LOG(LogLevel::Info, kLogCategoryRest)
        << "Recevied Set Shutdown State message: state = " << ClampShutdownState(state.shutdown_state);
    return "Received";
}

std::string DockProtoVeltaImpl::ProcessShutdownNow(web::json::value&) {
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received Shutdown Now message from Velta";
    std::shared_ptr<const ShutdownCallback> callback;
    {
        MutexLock lock(handOver);
        callback = shutdownCallback;
    }
    // Called without the lock: the host may set another call-back from inside.
    if (callback && *callback) {
        (*callback)(static_cast<Shutdown::ShutdownType>(0));
    } else {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "System will not turn off; no callback defined";
    }
    return "Received";
}

std::string DockProtoVeltaImpl::ProcessTerminateBackendProcessing(web::json::value&) {
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received Terminate Backend Processing message from Velta";
    std::shared_ptr<const TerminateCallback> callback;
    {
        MutexLock lock(handOver);
        callback = terminateBackendCallback;
    }
    if (callback && *callback) {
        (*callback)();
    } else {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Ignore message; no callback defined";
    }
    return "Received";
}

}  // namespace tvo
