// Upload and charge status reports to the Velta base, blocking or handed to
// the host as a RestHandle to poll.

#include <DockProtocol/DockProtoVelta.h>

#include "DockProtoVeltaImpl.h"

#include <DockProtocol/RestHandle.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <cpprest/http_msg.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;

// The link status the base is told for an upload status; none for the
// values the base has no use for (0, 5, and anything past the enumeration).
std::optional<rest::UploadLinkStatus> LinkStatusFor(DockProtoIF::UploadStatus status) {
    switch (static_cast<std::uint32_t>(status)) {
        case 1: return 3;
        case 2:
        case 3: return 2;
        case 4: return 4;
        default: return std::nullopt;
    }
}

std::string UploadMessage(rest::UploadLinkStatus linkStatus) {
    rest::UploadStatusElement message;
    message.upload_link_status = linkStatus;
    message.upload_link_percent = 0;
    return message.ToJson().serialize();
}

// One report built, sent and waited for; name is how the log lines call it.
// Nothing of it throws to the host, not even building the message.
template <typename BuildMessage>
RC SendReport(const DockProtoVeltaImpl& impl, std::string_view name, std::string_view type, BuildMessage buildMessage) {
    try {
        const std::string message = buildMessage();
        const auto client = impl.MakeClient(impl.endpoints.requestTimeout);
        const web::http::http_response response =
            client->request("PUT", DockProtoVeltaImpl::QueryFor(type), message).get();
        if (response.status_code() != web::http::status_codes::OK) {
            PMX_LOG(LogLevel::Warning, kLogCategoryRest)
                << name << " send failed, status code=" << response.status_code();
            return RC::Failed;
        }
        return RC::Ok;
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Failed to send " << name << " message to base, exception: " << e.what();
        return RC::Failed;
    }
}

// One report started; the handle owns the client until the host lets go.
std::unique_ptr<RestHandle> StartReport(const DockProtoVeltaImpl& impl, std::chrono::milliseconds timeout,
                                        std::string_view type, const std::string& message) {
    auto client = impl.MakeClient(timeout);
    auto response =
        std::make_unique<RestHandle::ResponseTask>(client->request("PUT", DockProtoVeltaImpl::QueryFor(type), message));
    return std::make_unique<RestHandle>(std::move(client), std::move(response));
}

}  // namespace

rest::ChargeStatusElement DockProtoVeltaImpl::ChargeStatusHelper(DockProtoIF::ChargeStatus status) const {
    rest::ChargeStatusElement message;
    switch (static_cast<std::uint32_t>(status)) {
        case 0:
        case 4: message.charge_state = "Not Charging"; break;
        case 1: message.charge_state = "Full"; break;
        case 2: message.charge_state = "Charging"; break;
        case 3: message.charge_fault = 2; break;
        default: break;
    }
    return message;
}

bool DockProtoVelta::CheckLinkStatusChanged(rest::UploadLinkStatus status) {
    PMX_LOG(LogLevel::Detail, kLogCategoryRest)
        << "CheckLinkStatusChanged - previous value " << lastLinkStatus << " new value is " << status;
    const bool changed = lastLinkStatus == 0 || lastLinkStatus != status;
    if (changed) {
        lastLinkStatus = status;
    }
    return changed;
}

RC DockProtoVelta::DoSetUploadStatus(UploadStatus status) {
    const auto linkStatus = LinkStatusFor(status);
    if (!linkStatus) {
        return RC::NotSupported;
    }
    const bool changed = CheckLinkStatusChanged(*linkStatus);
    PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "Link Status will be forwarded to the base - " << changed;
    if (!changed) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest)
            << "Deferred sending Upload Status to base awaiting a state change.";
        return RC::Ok;
    }
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Sending Upload Status to base...";
    return SendReport(*impl, "UploadStatus", rest::UploadStatusElement::kType,
                      [&] { return UploadMessage(*linkStatus); });
}

DockProtoIF::AsyncResult DockProtoVelta::DoSetUploadStatusAsync(UploadStatus status) {
    const auto linkStatus = LinkStatusFor(status);
    if (!linkStatus) {
        return {nullptr, RC::NotSupported};
    }
    const bool changed = CheckLinkStatusChanged(*linkStatus);
    PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "Link Status will be forwarded to the base - " << changed;
    if (!changed) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest)
            << "Deferred sending Upload Status to base awaiting a state change.";
        return {nullptr, RC::Ok};
    }
    PMX_LOG(LogLevel::FinestDetail, kLogCategoryRest) << "Sending Upload Status to base async...";
    try {
        auto handle = StartReport(*impl, impl->endpoints.requestTimeout, rest::UploadStatusElement::kType,
                                  UploadMessage(*linkStatus));
        PMX_LOG(LogLevel::Info, kLogCategoryRest)
            << "Sending Upload Status to base async... (started), value: " << static_cast<std::uint32_t>(status);
        return {std::move(handle), RC::InProgress};
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Failed to send UploadStatus message to base, exception: " << e.what();
        return {nullptr, RC::Failed};
    }
}

RC DockProtoVelta::DoSetChargeStatus(ChargeStatus status) {
    PMX_LOG(LogLevel::Detail, kLogCategoryRest)
        << "DoSetChargeStatus got a value of - " << static_cast<std::uint32_t>(status) << " from Battery Service";
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Sending Charge Status to base...";
    return SendReport(*impl, "ChargeStatus", rest::ChargeStatusElement::kType,
                      [&] { return impl->ChargeStatusHelper(status).ToJson().serialize(); });
}

DockProtoIF::AsyncResult DockProtoVelta::DoSetChargeStatusAsync(ChargeStatus status) {
    PMX_LOG(LogLevel::Detail, kLogCategoryRest)
        << "DoSetChargeStatusAsync got a value of - " << static_cast<std::uint32_t>(status) << " from Battery Service";
    PMX_LOG(LogLevel::FinestDetail, kLogCategoryRest) << "Sending Charge Status to base async ...";
    try {
        const std::string message = impl->ChargeStatusHelper(status).ToJson().serialize();
        auto handle = StartReport(*impl, impl->endpoints.requestTimeout, rest::ChargeStatusElement::kType, message);
        PMX_LOG(LogLevel::Info, kLogCategoryRest)
            << "Sending ChargeStatus to base async... (started), value: " << static_cast<std::uint32_t>(status);
        return {std::move(handle), RC::InProgress};
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Failed to send ChargeStatus message to base async, exception: " << e.what();
        return {nullptr, RC::Failed};
    }
}

}  // namespace tvo
