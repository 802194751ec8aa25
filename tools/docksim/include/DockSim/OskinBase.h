#pragma once
// An emulated Oskin base on loopback, for tests, dockhost and people who
// reproduce a field problem. The Oskin base is the client: it says hello,
// reports the connection ready, reads the camera's configuration,
// capabilities and provisioning state and pushes the server information to
// the camera's REST server. It can also misbehave in the ways bases (and
// broken networks) do, and it keeps a log of every exchange.

#include <DockProtocol/OskinDockCallbackIF.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestMessages.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tvo::DockSim {

class InMemoryNetwork;

struct OskinBaseSetup {
    // The network both sides meet on; null: real loopback sockets.
    std::shared_ptr<InMemoryNetwork> network;
    std::string cameraAddress = "127.0.0.1";  // the camera's REST server
    int cameraPort = 0;                       // 0: a free port is picked now
    std::string path = "api/";
    std::string version = "3.1.0";   // the base's version in its hello
    std::string apiVersion = "1.1";  // sent as ?api-version=; empty: no query
    std::chrono::milliseconds timeout{5000};
    std::size_t hugeBodyBytes = 4 * 1024 * 1024;
};

struct OskinExchange {
    std::string method;
    std::string target;  // path and query as sent
    std::string label;   // what the base meant to do ("say_hello", "bad:nested-json", ...)
    std::string request;
    unsigned status = 0;  // 0: no answer
    std::string reply;
    std::string error;  // why there was no answer
};
// One line: method, target, status or error, and the bodies cut short.
std::string Describe(const OskinExchange& exchange, std::size_t bodyChars = 160);

// One request the base should not send, and the status a sound camera answers.
struct OskinBadInput {
    std::string name;
    std::string method;
    std::string target;  // relative to the listening path, with query
    std::string body;
    unsigned expectedStatus;
};

// A server push with sane values and the given tenant.
rest::SetServerInfoElement SampleServerInfo(const std::string& tenantId);

class OskinBase {
public:
    explicit OskinBase(OskinBaseSetup setup = {});
    OskinBase(const OskinBase&) = delete;
    OskinBase& operator=(const OskinBase&) = delete;

    // The test environment with the camera's server on the setup's address
    // and port, and the connection manager answered here; on the setup's
    // in-memory network and its clock when it has one.
    ProtocolEnvironment Environment() const;
    int CameraPort() const;
    const OskinBaseSetup& Setup() const { return setup; }

    // The next gadget start-ups through the environment fail with this error.
    void FailGadget(int times, std::string error);
    int GadgetToggles() const;
    int Prunes() const;
    // Called on the caller's thread after each exchange.
    void Watch(std::function<void(const OskinExchange&)> watcher);

    // The base's messages; each blocks until the camera answered or the time
    // limit passed.
    OskinExchange SayHello();
    OskinExchange ConnectionReady(const rest::MessageHeader& header = {});
    OskinExchange GetCameraConfig();
    OskinExchange GetCameraCapabilities();
    OskinExchange GetUsbDeviceStatus();
    OskinExchange SetServerInfo(const rest::SetServerInfoElement& info);
    // Any method, target (relative to the listening path, query included)
    // and body, as given.
    OskinExchange Send(const std::string& method, const std::string& target, const std::string& body,
                       const std::string& label = "");

    // Every misbehaviour the base can script, in a fixed order.
    std::vector<OskinBadInput> BadInputs() const;
    OskinExchange SendBadInput(const OskinBadInput& bad);
    // The same message from many threads at once; the exchanges in order of sending.
    std::vector<OskinExchange> SendParallel(int count, const std::string& method, const std::string& target,
                                            const std::string& body);

    std::vector<OskinExchange> Log() const;
    // The query the base appends to its messages ("" or "?api-version=...").
    std::string Query() const;

private:
    struct Gadget;
    OskinBaseSetup setup;
    std::shared_ptr<Gadget> gadget;
    mutable std::mutex mutex;
    std::vector<OskinExchange> log;
    std::function<void(const OskinExchange&)> watcher;

    OskinExchange Message(const std::string& method, rest::Message type, const web::json::value& body);
    void Record(const OskinExchange& exchange);
};

// A camera host that answers from fixed values; safe to call from the
// camera server's threads.
struct OskinCameraProfile {
    std::string configUri = "http://127.0.0.1/camera/config.json";
    std::vector<OskinDockCallbackIF::Capability> capabilities{{"video", {{"resolution", "1080p"}}}, {"gps", {}}};
    bool provisioned = false;
    std::string tenantId;  // the camera's current tenant
};

class OskinCameraAnswers : public OskinDockCallbackIF {
public:
    using Answers = OskinCameraProfile;

    explicit OskinCameraAnswers(Answers answers = {});
    void Set(Answers replacement);
    int ConnectionReadyCalls() const;

    void OnConnectionReady() override;
    std::string GetCameraConfigUri() override;
    std::vector<Capability> GetCameraCapabilities() override;
    bool IsUsbDeviceProvisioned() override;
    ProvisioningStatus GetProvisioningStatus() override;

private:
    mutable std::mutex mutex;
    Answers answers;
    int connectionReadyCalls = 0;
};

}  // namespace tvo::DockSim
