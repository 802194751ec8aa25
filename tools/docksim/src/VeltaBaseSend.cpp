// The emulated base's own requests to the camera's inbound server.

#include "VeltaBaseState.h"

#include <DockProtocol/RestMessages.h>
#include <DockSim/InMemoryNetwork.h>
#include <HttpRest/HttpClient.h>

#include <cpprest/http_msg.h>

namespace tvo::DockSim {
namespace {

using Direction = Exchange::Direction;

// The status of a raw reply's status line, or 0.
unsigned StatusOf(const std::string& reply) {
    if (reply.rfind("HTTP/", 0) != 0) {
        return 0;
    }
    const auto blank = reply.find(' ');
    try {
        return blank == std::string::npos ? 0 : static_cast<unsigned>(std::stoul(reply.substr(blank + 1, 3)));
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

std::string VeltaBase::State::CameraUri() const {
    return "http://" + setup.cameraAddress + ":" + std::to_string(cameraPort) + "/" + setup.path;
}

Exchange VeltaBase::State::Send(const std::string& method, const std::string& query, const std::string& body) {
    Exchange exchange;
    exchange.direction = Direction::BaseToCamera;
    exchange.method = method;
    exchange.target = "/" + setup.path + query;
    exchange.type = MessageTypeOf(query);
    exchange.request = body;
    std::chrono::milliseconds limit;
    {
        std::lock_guard<std::mutex> lock(mutex);
        limit = setup.sendTimeout;
    }
    try {
        HttpClientOptions options;
        options.baseUri = CameraUri();
        options.timeout = limit;
        const auto client = setup.network ? setup.network->MakeClient(options) : MakeHttpClient(options);
        web::http::http_response response = client->request(method, query, body).get();
        exchange.status = response.status_code();
        exchange.reply = response.extract_utf8string(true).get();
    } catch (const std::exception& e) {
        exchange.error = e.what();
    }
    Record(exchange);
    return exchange;
}

Exchange VeltaBase::State::SendMessage(const std::string& type, web::json::value message, BodyFault fault) {
    std::size_t hugeBytes;
    {
        std::lock_guard<std::mutex> lock(mutex);
        hugeBytes = setup.hugeBodyBytes;
    }
    return Send("PUT", "?type=" + type, ApplyFault(std::move(message), fault, hugeBytes));
}

Exchange VeltaBase::State::SendApproval(const ApprovalGrant& grant, BodyFault fault) {
    if (grant.withMqtt) {
        rest::DeviceAnnouncementElementUSBApprovedMQTT approval;
        approval.ssid = grant.ssid;
        approval.psk = grant.psk;
        approval.ip_addr = grant.ipAddr;
        approval.mac_id = grant.macId;
        approval.mqtt_address = grant.mqttAddress;
        approval.mqtt_password = grant.mqttPassword;
        approval.mqtt_certificate = grant.mqttCertificate;
        approval.mqtt_port_number = grant.mqttPortNumber;
        return SendMessage(std::string(approval.kType), approval.ToJson(), fault);
    }
    rest::DeviceAnnouncementElementUSBApproved approval;
    approval.ssid = grant.ssid;
    approval.psk = grant.psk;
    approval.ip_addr = grant.ipAddr;
    approval.mac_id = grant.macId;
    return SendMessage(std::string(approval.kType), approval.ToJson(), fault);
}

Exchange VeltaBase::SendApproval(BodyFault fault) {
    ApprovalGrant grant;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        grant = state->setup.grant;
    }
    return state->SendApproval(grant, fault);
}

Exchange VeltaBase::SendApproval(const ApprovalGrant& grant, BodyFault fault) {
    return state->SendApproval(grant, fault);
}

Exchange VeltaBase::SendChargeStatus(const ChargeReport& report, BodyFault fault) {
    rest::ChargeStatusElement status;
    status.charge_state = report.state;
    status.charge_ntcfault = report.ntcFault;
    status.charge_batteryfault = report.batteryFault;
    status.charge_fault = report.fault;
    status.charge_boostfault = report.boostFault;
    status.charge_watchdogfault = report.watchdogFault;
    return state->SendMessage(std::string(status.kType), status.ToJson(), fault);
}

Exchange VeltaBase::SendIgnitionState(int value, BodyFault fault) {
    rest::SetIgnitionStateElement ignition;
    ignition.ignitition_state = value;
    return state->SendMessage(std::string(ignition.kType), ignition.ToJson(), fault);
}

Exchange VeltaBase::SendShutdownState(int value, BodyFault fault) {
    rest::SetShutdownStateElement shutdown;
    shutdown.shutdown_state = value;
    return state->SendMessage(std::string(shutdown.kType), shutdown.ToJson(), fault);
}

Exchange VeltaBase::SendShutdownNow() {
    const auto type = rest::MessageType(rest::Message::ShutdownNow);
    return state->SendMessage(std::string(type), rest::WriteEnvelope(type, {}), BodyFault::None);
}

Exchange VeltaBase::SendTerminateBackend() {
    const auto type = rest::MessageType(rest::Message::TerminateBackendOperations);
    return state->SendMessage(std::string(type), rest::WriteEnvelope(type, {}), BodyFault::None);
}

Exchange VeltaBase::Send(const std::string& method, const std::string& query, const std::string& body) {
    return state->Send(method, query, body);
}

Exchange VeltaBase::SendAndHangUp(const std::string& query, const std::string& body) {
    Exchange exchange;
    exchange.direction = Direction::BaseToCamera;
    exchange.method = "PUT";
    exchange.target = "/" + state->setup.path + query;
    exchange.type = MessageTypeOf(query);
    exchange.request = body;
    if (state->setup.network) {
        exchange.error = "a broken request needs a real connection; this base is on an in-memory network";
        state->Record(exchange);
        return exchange;
    }
    try {
        exchange.reply = SendBrokenRequest(state->setup.cameraAddress, state->cameraPort, "PUT", exchange.target, body);
        exchange.status = StatusOf(exchange.reply);
        if (exchange.reply.empty()) {
            exchange.error = "the camera closed the connection without answering";
        }
    } catch (const std::exception& e) {
        exchange.error = e.what();
    }
    state->Record(exchange);
    return exchange;
}

}  // namespace tvo::DockSim
