// The Velta inbound dispatch on what the base sends: the first byte picks the
// method and whether the camera accepts MQTT settings, the text up to the
// first newline is the request's path and query, the rest its body. A reply
// that names a file may only name the platform's own files.

#include "FuzzEnvironment.h"
#include "FuzzSupport.h"

#include "DockProtoVeltaImpl.h"

#include <DockProtocol/ProtocolEnvironment.h>

#include <cpprest/json.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace {

using tvo::DockProtoVeltaImpl;
using tvo::HttpServer;

std::unique_ptr<DockProtoVeltaImpl> camera;
tvo::ProtocolEnvironment environment;

void SetMqttMarker(bool wanted) {
    const std::filesystem::path marker = environment.files.mqttSupportMarker;
    std::error_code error;
    if (std::filesystem::exists(marker, error) == wanted) {
        return;
    }
    if (wanted) {
        tvo::WriteFile(marker, "1");
    } else {
        std::filesystem::remove(marker, error);
    }
}

// A reply that carries a "uri" may name the configuration file or nothing;
// no image exists, so no firmware path may appear.
void CheckNamedFile(const std::string& reply) {
    std::error_code error;
    const web::json::value parsed = web::json::value::parse(reply, error);
    if (error || !parsed.is_object() || !parsed.has_field("uri")) {
        return;
    }
    const auto& uri = parsed.at("uri");
    tvo::fuzz::Require(uri.is_string(), "a reply's uri is not a string");
    const std::string& named = uri.as_string();
    tvo::fuzz::Require(named.empty() || named == environment.files.configFile,
                       "a reply names a file other than the platform's own");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    environment = tvo::fuzz::ScratchEnvironment();
    const auto& dir = tvo::fuzz::ScratchDir();
    tvo::WriteFile(environment.files.configFile, "<config/>\n");
    // The image it names never exists, so a package request always takes
    // the clean-up road, and only inside the scratch folder.
    tvo::WriteFile(environment.files.firmwareVersionFile,
                   "name=velta\nversion=1.2.3.4\nlocation=" + dir.file("scratch/velta.tar").string() + "\n");
    camera = std::make_unique<DockProtoVeltaImpl>(environment);
    camera->SetShutdownCallback([](Shutdown::ShutdownType) {});
    camera->SetTerminateBackendCallback([] {});
    std::atexit([] { camera.reset(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvo::fuzz::Request request;
    if (!tvo::fuzz::SplitRequest(data, size, request)) {
        return 0;
    }
    const std::uint8_t mode = request.mode;
    const std::string& uri = request.uri;
    const std::string& body = request.body;

    static constexpr HttpServer::HandlerMethodType kMethods[] = {
        HttpServer::HandlerMethodType::Put, HttpServer::HandlerMethodType::Get, HttpServer::HandlerMethodType::Post,
        HttpServer::HandlerMethodType::Delete};
    SetMqttMarker((mode & 0x04) != 0);
    try {
        const std::string reply = camera->processREST(kMethods[mode & 0x03], uri, body);
        CheckNamedFile(reply);
    } catch (const web::json::json_exception&) {
        // Left to the HTTP server, which answers 500.
    }
    camera->TakeApproval();
    return 0;
}
