// docksim oskin: the emulated Oskin base, played against a camera's REST
// server (a real one, or one started in this process), with the misbehaviour
// a field problem needs and every exchange printed as it happens.

#include "Commands.h"

#include <Common/UUID.h>
#include <DockProtocol/DockProtoOskin.h>
#include <DockSim/OskinBase.h>

#include <iostream>
#include <memory>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

constexpr const char* kCameraTenant = "6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b";
constexpr const char* kForeignTenant = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";

struct OskinOptions {
    std::string camera = "127.0.0.1:55006";
    bool localCamera = false;
    bool provisioned = true;
    std::string apiVersion = "1.1";
    std::vector<std::string> steps{"hello", "ready", "config", "capabilities", "status", "push"};
    std::string tenant = "match";
    std::vector<std::string> misbehave;
    int parallel = 0;
    std::size_t bodyChars = 160;
};

std::pair<std::string, int> HostAndPort(const std::string& text) {
    const auto colon = text.rfind(':');
    try {
        if (colon != std::string::npos && colon > 0) {
            std::size_t used = 0;
            const int port = std::stoi(text.substr(colon + 1), &used);
            if (used == text.size() - colon - 1 && port > 0 && port <= 65535) {
                return {text.substr(0, colon), port};
            }
        }
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("bad address '" + text + "' (HOST:PORT, an IPv4 address)");
}

std::string TenantFor(const std::string& choice) {
    if (choice == "match")
        return kCameraTenant;
    if (choice == "foreign")
        return kForeignTenant;
    if (choice == "nil")
        return std::string(UUID::Nil);
    if (choice == "malformed")
        return "tenant 42?";
    return choice;  // a literal tenant identifier
}

bool RunStep(OskinBase& base, const std::string& step, const std::string& tenant) {
    OskinExchange exchange;
    if (step == "hello")
        exchange = base.SayHello();
    else if (step == "ready")
        exchange = base.ConnectionReady({"", "", "DOCKSIM-OSKIN", 0});
    else if (step == "config")
        exchange = base.GetCameraConfig();
    else if (step == "capabilities")
        exchange = base.GetCameraCapabilities();
    else if (step == "status")
        exchange = base.GetUsbDeviceStatus();
    else if (step == "push")
        exchange = base.SetServerInfo(SampleServerInfo(tenant));
    else
        throw std::invalid_argument("unknown step '" + step + "'");
    return exchange.status != 0;
}

int Run(const OskinOptions& options) {
    OskinBaseSetup setup;
    setup.apiVersion = options.apiVersion;
    if (!options.localCamera) {
        std::tie(setup.cameraAddress, setup.cameraPort) = HostAndPort(options.camera);
    }
    OskinBase base(setup);
    base.Watch(
        [&options](const OskinExchange& exchange) { std::cout << Describe(exchange, options.bodyChars) << std::endl; });

    // The local camera outlives nothing it serves: the dock goes before its host.
    OskinCameraAnswers::Answers answers;
    answers.provisioned = options.provisioned;
    answers.tenantId = kCameraTenant;
    OskinCameraAnswers host(answers);
    std::unique_ptr<DockProtoOskin> camera;
    if (options.localCamera) {
        camera = std::make_unique<DockProtoOskin>(base.Environment(), &host);
        const auto hello = camera->SayHello();
        std::cout << "camera on 127.0.0.1:" << base.CameraPort() << ", SayHello: " << hello << std::endl;
        if (hello != DockProtoIF::ReturnCode::Ok) {
            return 1;
        }
    }

    int failures = 0;
    for (const auto& step : options.steps) {
        failures += RunStep(base, step, TenantFor(options.tenant)) ? 0 : 1;
    }
    const auto bad = base.BadInputs();
    for (const auto& name : options.misbehave) {
        bool known = false;
        for (const auto& input : bad) {
            if (name == "all" || name == input.name) {
                known = true;
                const auto exchange = base.SendBadInput(input);
                if (exchange.status != input.expectedStatus) {
                    std::cout << "  unexpected: a sound camera answers " << input.expectedStatus << std::endl;
                    ++failures;
                }
            }
        }
        if (!known) {
            throw std::invalid_argument("unknown misbehaviour '" + name + "'");
        }
    }
    if (options.parallel > 0) {
        const std::string hello = rest::SayHelloElement{}.ToJson().serialize();
        for (const auto& exchange : base.SendParallel(options.parallel, "PUT", "say_hello" + base.Query(), hello)) {
            failures += exchange.status == 200 ? 0 : 1;
        }
    }
    if (camera) {
        std::cout << "camera GetServerInfo: " << camera->GetServerInfo().value << std::endl;
    }
    std::cout << "exchanges: " << base.Log().size() << ", failed: " << failures << std::endl;
    return failures == 0 ? 0 : 1;
}

}  // namespace

void AddOskinCommands(CLI::App& app, int& status) {
    auto options = std::make_shared<OskinOptions>();
    auto* command = app.add_subcommand("oskin", "play an Oskin base against a camera's REST server");
    command->add_option("--camera", options->camera, "the camera's REST server, HOST:PORT")->capture_default_str();
    command->add_flag("--local-camera", options->localCamera,
                      "start a camera in this process on a free loopback port and play against it");
    command->add_option("--provisioned", options->provisioned, "local camera: provisioned (true/false)")
        ->capture_default_str();
    command->add_option("--api-version", options->apiVersion, "sent as ?api-version=; empty: no query")
        ->capture_default_str();
    command->add_option("--steps", options->steps, "hello, ready, config, capabilities, status, push")->delimiter(',');
    command->add_option("--tenant", options->tenant, "push: match, foreign, nil, malformed, or a literal id")
        ->capture_default_str();
    command->add_option("--misbehave", options->misbehave, "bad inputs to send by name, or all")->delimiter(',');
    command->add_option("--parallel", options->parallel, "say-hellos sent at once afterwards")
        ->check(CLI::Range(0, 256));
    command->add_option("--body-chars", options->bodyChars, "characters of each body printed")->capture_default_str();
    command->callback([options, &status] {
        try {
            status = Run(*options);
        } catch (const std::exception& error) {
            std::cerr << "docksim oskin: " << error.what() << '\n';
            status = 2;
        }
    });
}

}  // namespace tvo::DockSim
