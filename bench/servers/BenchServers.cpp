#include "BenchServers.h"

#include <DockProtocol/DockProtoOskin.h>
#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestMessages.h>
#include <DockSim/OskinBase.h>
#include <HttpRest/HttpThreadPool.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <cpprest/http_listener.h>
#include <cpprest/json.h>

#include <stdexcept>
#include <utility>

#include "MinimalBeastServer.h"

namespace tvo::bench {
namespace {

std::string ChargeReport() {
    rest::ChargeStatusElement report;
    report.charge_state = "Charging";
    report.charge_fault = 1;
    return report.ToJson().serialize();
}

std::string Hello() {
    rest::SayHelloElement hello;
    hello.version = "3.1.0";
    hello.api_version = "1.1";
    return hello.ToJson().serialize();
}

// Parse and reply, as the dispatch does at the least.
std::string Answer(const std::string& body) {
    const web::json::value parsed = web::json::value::parse(body);
    web::json::value reply = web::json::value::object();
    reply["msg_type"] = parsed.at("msg_type");
    reply["status"] = web::json::value::string("ok");
    return reply.serialize();
}

struct Velta {
    explicit Velta(int port) {
        ProtocolEnvironment environment = ProtocolEnvironment::Production();
        environment.velta.listenAddress = "127.0.0.1";
        environment.velta.listenPort = port;
        // No base: its version request fails at once, the server listens anyway.
        environment.velta.baseAddress = "127.0.0.1";
        environment.velta.basePort = FreeTcpPort();
        environment.velta.helloTimeout = std::chrono::milliseconds(200);
        environment.system.pruneProvisionFile = [](std::string_view, std::string_view) {};
        environment.system.toggleConnection = [](connman::ConnectionType, bool) {
            return connman::ToggleResult{true, ""};
        };
        camera = std::make_unique<DockProtoVelta>(environment);
        if (camera->SayHello() != DockProtoIF::ReturnCode::Ok) {
            throw std::runtime_error("Velta camera did not start");
        }
    }
    std::unique_ptr<DockProtoVelta> camera;
};

struct Oskin {
    explicit Oskin(int port) {
        DockSim::OskinBaseSetup setup;
        setup.cameraPort = port;
        base = std::make_unique<DockSim::OskinBase>(setup);
        camera = std::make_unique<DockProtoOskin>(base->Environment(), &host);
        if (camera->SayHello() != DockProtoIF::ReturnCode::Ok) {
            throw std::runtime_error("Oskin camera did not start");
        }
    }
    std::unique_ptr<DockSim::OskinBase> base;
    DockSim::OskinCameraAnswers host;
    std::unique_ptr<DockProtoOskin> camera;
};

struct BareListener {
    explicit BareListener(int port) : listener("http://127.0.0.1:" + std::to_string(port) + "/bench/") {
        listener.support(web::http::methods::PUT, [](web::http::http_request request) {
            request.extract_utf8string(true).then([request](pplx::task<std::string> body) mutable {
                try {
                    request.reply(web::http::status_codes::OK, Answer(body.get()), "application/json")
                        .then([](pplx::task<void> sent) {
                            try {
                                sent.get();
                            } catch (...) {
                            }
                        });
                } catch (...) {
                }
            });
        });
        listener.open().wait();
    }
    ~BareListener() { listener.close().wait(); }
    web::http::experimental::listener::http_listener listener;
};

}  // namespace

const std::vector<ServerKind>& ServerKinds() {
    static const std::vector<ServerKind> kinds = {
        {"velta", "/UsbRest/1.0?type=charge_status", ChargeReport()},
        {"oskin", "/api/say_hello?api-version=1.1", Hello()},
        {"cpprest-default", "/bench/echo", ChargeReport()},
        {"cpprest-2", "/bench/echo", ChargeReport()},
        {"beast-1", "/bench/echo", ChargeReport()},
    };
    return kinds;
}

std::shared_ptr<void> StartServer(const std::string& name, int port) {
    LogClient::SetLevel(LogLevel::Warning);  // the per-request lines are not what is measured
    if (name == "velta") {
        return std::make_shared<Velta>(port);
    }
    if (name == "oskin") {
        return std::make_shared<Oskin>(port);
    }
    if (name == "cpprest-default") {
        return std::make_shared<BareListener>(port);
    }
    if (name == "cpprest-2") {
        SetHttpThreadPoolSize(2);
        EnsureHttpThreadPool();
        return std::make_shared<BareListener>(port);
    }
    if (name == "beast-1") {
        return std::make_shared<MinimalBeastServer>(port, Answer);
    }
    throw std::runtime_error("no server kind '" + name + "'");
}

}  // namespace tvo::bench
