// The emulated Oskin base: its messages to the camera's REST server, the
// connection manager it answers for the camera, and its log.

#include <DockSim/OskinBase.h>
#include <DockSim/TestEnvironment.h>

#include <DockSim/InMemoryNetwork.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpThreadPool.h>
#include <TestSupport/TestSupport.h>

#include <cpprest/http_msg.h>

#include <exception>

namespace tvo::DockSim {

struct OskinBase::Gadget {
    TempDir files;  // the camera-side files of the environments handed out
    std::mutex mutex;
    int toggles = 0;
    int prunes = 0;
    int failuresLeft = 0;
    std::string failure;
};

std::string Describe(const OskinExchange& exchange, std::size_t bodyChars) {
    const auto cut = [bodyChars](const std::string& text) {
        return text.size() <= bodyChars ? text
                                        : text.substr(0, bodyChars) + "... (" + std::to_string(text.size()) + " bytes)";
    };
    std::string line = "base -> camera " + exchange.method + " " + exchange.target;
    if (!exchange.label.empty()) {
        line += " [" + exchange.label + "]";
    }
    if (exchange.status != 0) {
        line += " -> " + std::to_string(exchange.status) + " " + cut(exchange.reply);
    } else {
        line += " -> no answer (" + exchange.error + ")";
    }
    if (!exchange.request.empty()) {
        line += " | sent " + cut(exchange.request);
    }
    return line;
}

rest::SetServerInfoElement SampleServerInfo(const std::string& tenantId) {
    rest::SetServerInfoElement info;
    info.dns_ip = "10.20.0.53";
    info.server_url_type = "HOSTNAME";
    info.server_primary_url = "evidence.oskin.example";
    info.server_secondary_url = "evidence-2.oskin.example";
    info.server_port = 443;
    info.tenant_id = tenantId;
    info.room_description = "Patrol Room 4";
    info.station_id = "Oskin Station 12";
    return info;
}

OskinBase::OskinBase(OskinBaseSetup chosen) : setup(std::move(chosen)), gadget(std::make_shared<Gadget>()) {
    if (setup.cameraPort == 0) {
        setup.cameraPort = setup.network ? setup.network->FreePort() : FreeTcpPort();
    }
}

ProtocolEnvironment OskinBase::Environment() const {
    ProtocolEnvironment environment = TestEnvironment(gadget->files.path().string());
    environment.oskin.listenAddress = setup.cameraAddress;
    environment.oskin.port = setup.cameraPort;
    environment.oskin.path = setup.path;
    auto shared = gadget;
    environment.system.pruneProvisionFile = [shared](std::string_view, std::string_view) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        ++shared->prunes;
    };
    environment.system.toggleConnection = [shared](connman::ConnectionType, bool) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        ++shared->toggles;
        if (shared->failuresLeft > 0) {
            --shared->failuresLeft;
            return connman::ToggleResult{false, shared->failure};
        }
        return connman::ToggleResult{true, ""};
    };
    if (setup.network) {
        setup.network->Attach(environment);
    }
    return environment;
}

int OskinBase::CameraPort() const {
    return setup.cameraPort;
}

void OskinBase::FailGadget(int times, std::string error) {
    std::lock_guard<std::mutex> lock(gadget->mutex);
    gadget->failuresLeft = times;
    gadget->failure = std::move(error);
}

int OskinBase::GadgetToggles() const {
    std::lock_guard<std::mutex> lock(gadget->mutex);
    return gadget->toggles;
}

int OskinBase::Prunes() const {
    std::lock_guard<std::mutex> lock(gadget->mutex);
    return gadget->prunes;
}

void OskinBase::Watch(std::function<void(const OskinExchange&)> watch) {
    std::lock_guard<std::mutex> lock(mutex);
    watcher = std::move(watch);
}

std::string OskinBase::Query() const {
    return setup.apiVersion.empty() ? std::string() : "?api-version=" + setup.apiVersion;
}

OskinExchange OskinBase::Send(const std::string& method, const std::string& target, const std::string& body,
                              const std::string& label) {
    OskinExchange exchange;
    exchange.method = method;
    exchange.target = "/" + setup.path + target;
    exchange.label = label;
    exchange.request = body;
    try {
        HttpClientOptions options;
        options.baseUri = "http://" + setup.cameraAddress + ":" + std::to_string(setup.cameraPort);
        options.timeout = setup.timeout;
        const auto client = setup.network ? setup.network->MakeClient(options) : MakeHttpClient(options);
        web::http::http_response response = client->request(method, exchange.target, body).get();
        exchange.status = response.status_code();
        exchange.reply = response.extract_utf8string(true).get();
    } catch (const std::exception& e) {
        exchange.error = e.what();
    }
    Record(exchange);
    return exchange;
}

void OskinBase::Record(const OskinExchange& exchange) {
    std::function<void(const OskinExchange&)> watch;
    {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(exchange);
        watch = watcher;
    }
    if (watch) {
        watch(exchange);
    }
}

std::vector<OskinExchange> OskinBase::Log() const {
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

OskinExchange OskinBase::Message(const std::string& method, rest::Message type, const web::json::value& body) {
    const std::string name(rest::MessageType(type));
    return Send(method, name + Query(), body.serialize(), name);
}

OskinExchange OskinBase::SayHello() {
    rest::SayHelloElement hello;
    hello.version = setup.version;
    hello.api_version = setup.apiVersion;
    return Message("PUT", rest::Message::SayHello, hello.ToJson());
}

OskinExchange OskinBase::ConnectionReady(const rest::MessageHeader& header) {
    rest::ConnectionReadyElement ready;
    ready.header = header;
    return Message("PUT", rest::Message::ConnectionReady, ready.ToJson());
}

OskinExchange OskinBase::GetCameraConfig() {
    const auto type = rest::Message::GetCameraConfig;
    return Message("GET", type, rest::WriteEnvelope(rest::MessageType(type), {}));
}

OskinExchange OskinBase::GetCameraCapabilities() {
    const auto type = rest::Message::GetCameraCapabilities;
    return Message("GET", type, rest::WriteEnvelope(rest::MessageType(type), {}));
}

OskinExchange OskinBase::GetUsbDeviceStatus() {
    const auto type = rest::Message::UsbDeviceStatus;
    return Message("GET", type, rest::WriteEnvelope(rest::MessageType(type), {}));
}

OskinExchange OskinBase::SetServerInfo(const rest::SetServerInfoElement& info) {
    return Message("PUT", rest::Message::SetServerInfo, info.ToJson());
}

}  // namespace tvo::DockSim
