// The Oskin server's dispatch on what the base sends: the first byte picks
// the method and the host's provisioning, the text up to the first newline
// is the request's path and query, the rest its body. Every reply must be
// UTF-8 and a JSON object, also the error replies that echo the request.

#include "FuzzEnvironment.h"
#include "FuzzSupport.h"

#include "OskinRestServerImpl.h"

#include <DockProtocol/OskinDockCallbackIF.h>
#include <DockProtocol/ProtocolEnvironment.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

namespace {

using tvo::OskinDockCallbackIF;

class Host : public OskinDockCallbackIF {
public:
    void OnConnectionReady() override {}
    std::string GetCameraConfigUri() override { return configUri; }
    std::vector<Capability> GetCameraCapabilities() override {
        return {{"video", {{"resolution", "1080p"}, {"fps", "30"}}}, {"gps", {}}};
    }
    bool IsUsbDeviceProvisioned() override { return provisioned; }
    ProvisioningStatus GetProvisioningStatus() override {
        return {provisioned, "fuzz", "6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b"};
    }

    bool provisioned = false;
    std::string configUri;
};

Host host;
std::unique_ptr<tvo::OskinRestServerImpl> server;

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t point = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            point = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            point = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = point << 6 | (next & 0x3F);
        }
        if ((extra == 2 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
            (extra == 3 && (point < 0x10000 || point > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    tvo::OskinEnvironment endpoint = tvo::fuzz::ScratchEnvironment().oskin;
    endpoint.port = tvo::FreeTcpPort();
    server = std::make_unique<tvo::OskinRestServerImpl>(&host, endpoint);
    std::atexit([] { server.reset(); });
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

    host.provisioned = (mode & 0x02) != 0;
    host.configUri = (mode & 0x04) != 0 ? "http://127.0.0.1/config.xml" : "";
    const auto reply = (mode & 0x01) != 0 ? server->ProcessGET(uri, body) : server->ProcessPUT(uri, body);

    tvo::fuzz::Require(IsUtf8(reply.second), "a reply body is not UTF-8");
    std::error_code error;
    const web::json::value parsed = web::json::value::parse(reply.second, error);
    tvo::fuzz::Require(!error && parsed.is_object(), "a reply body is not a JSON object");
    return 0;
}
