// The Oskin base's misbehaviour, its parallel bursts, and a camera host that
// answers from fixed values.

#include <DockSim/OskinBase.h>

#include <thread>

namespace tvo::DockSim {
namespace {

std::string Envelope(rest::Message type) {
    return rest::WriteEnvelope(rest::MessageType(type), {}).serialize();
}

// A say-hello whose extra member nests arrays this deep.
std::string DeeplyNested(std::size_t depth) {
    return R"({"msg_type":"say_hello","x":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

std::string ServerInfoWith(const std::string& key, const web::json::value& value) {
    auto body = SampleServerInfo("6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b").ToJson();
    if (value.is_null()) {
        body.erase(key);
    } else {
        body[key] = value;
    }
    return body.serialize();
}

}  // namespace

std::vector<OskinBadInput> OskinBase::BadInputs() const {
    const std::string hello = Envelope(rest::Message::SayHello);
    const std::string status = Envelope(rest::Message::UsbDeviceStatus);
    std::string huge = R"({"msg_type":"say_hello","padding":")" + std::string(setup.hugeBodyBytes, 'p') + "\"}";
    std::vector<OskinBadInput> list{
        {"wrong-msg-type", "PUT", "say_hello", Envelope(rest::Message::ConnectionReady), 400},
        {"unknown-path", "PUT", "reboot_now", hello, 404},
        {"listening-path", "PUT", "", hello, 404},
        {"nested-path", "PUT", "say_hello/again", hello, 404},
        {"get-for-put", "GET", "set_server_info", Envelope(rest::Message::SetServerInfo), 404},
        {"put-for-get", "PUT", "usb_device_status", status, 404},
        {"delete", "DELETE", "say_hello", hello, 405},
        {"not-json", "PUT", "say_hello", "hello", 400},
        {"empty-body", "GET", "usb_device_status", "", 400},
        {"cut-json", "PUT", "say_hello", R"({"msg_type":"say_hello",)", 400},
        {"array-body", "PUT", "say_hello", R"(["say_hello"])", 400},
        {"no-msg-type", "PUT", "say_hello", R"({"version":"1"})", 400},
        {"numeric-msg-type", "GET", "usb_device_status", R"({"msg_type":19})", 400},
        {"nested-json", "PUT", "say_hello", DeeplyNested(100000), 400},
        {"port-as-string", "PUT", "set_server_info", ServerInfoWith("server_port", web::json::value::string("443")),
         400},
        {"tenant-as-number", "PUT", "set_server_info", ServerInfoWith("tenant_id", web::json::value::number(7)), 400},
        {"no-station", "PUT", "set_server_info", ServerInfoWith("station_id", web::json::value::null()), 400},
        {"header-as-string", "GET", "usb_device_status", R"({"msg_type":"usb_device_status","message-header":"x"})",
         200},
        {"huge-body", "PUT", "say_hello", std::move(huge), 413},
    };
    for (const char* query : {"?api-version=", "?api-version=1", "?api-version=1.2.3", "?api-version=a.b",
                              "?api-version=99999999999999999999999.1", "?api-version=-1.+2", "?&&api-version"}) {
        list.push_back({std::string("query") + query, "PUT", std::string("say_hello") + query, hello, 200});
    }
    return list;
}

OskinExchange OskinBase::SendBadInput(const OskinBadInput& bad) {
    return Send(bad.method, bad.target, bad.body, "bad:" + bad.name);
}

std::vector<OskinExchange> OskinBase::SendParallel(int count, const std::string& method, const std::string& target,
                                                   const std::string& body) {
    std::vector<OskinExchange> exchanges(count > 0 ? static_cast<std::size_t>(count) : 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        threads.emplace_back([&, i] { exchanges[i] = Send(method, target, body, "parallel"); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    return exchanges;
}

OskinCameraAnswers::OskinCameraAnswers(Answers initial) : answers(std::move(initial)) {}

void OskinCameraAnswers::Set(Answers replacement) {
    std::lock_guard<std::mutex> lock(mutex);
    answers = std::move(replacement);
}

int OskinCameraAnswers::ConnectionReadyCalls() const {
    std::lock_guard<std::mutex> lock(mutex);
    return connectionReadyCalls;
}

void OskinCameraAnswers::OnConnectionReady() {
    std::lock_guard<std::mutex> lock(mutex);
    ++connectionReadyCalls;
}

std::string OskinCameraAnswers::GetCameraConfigUri() {
    std::lock_guard<std::mutex> lock(mutex);
    return answers.configUri;
}

std::vector<OskinDockCallbackIF::Capability> OskinCameraAnswers::GetCameraCapabilities() {
    std::lock_guard<std::mutex> lock(mutex);
    return answers.capabilities;
}

bool OskinCameraAnswers::IsUsbDeviceProvisioned() {
    std::lock_guard<std::mutex> lock(mutex);
    return answers.provisioned;
}

OskinDockCallbackIF::ProvisioningStatus OskinCameraAnswers::GetProvisioningStatus() {
    std::lock_guard<std::mutex> lock(mutex);
    return {answers.provisioned, answers.provisioned ? "provisioned" : "factory", answers.tenantId};
}

}  // namespace tvo::DockSim
