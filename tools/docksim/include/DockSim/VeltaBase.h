#pragma once
// An emulated Velta base on loopback, for tests, dockhost and people who
// reproduce a field problem. It answers the camera's PUTs as a base would
// (version, acknowledged announcement, room and station, status reports, the
// log request and the log file itself), sends the base's
// own requests to the camera's inbound server (approval, charge reports,
// ignition, shutdown and terminate orders), misbehaves on request, and keeps
// a log of every exchange in both directions.

#include <DockProtocol/ProtocolEnvironment.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvo::DockSim {

class InMemoryNetwork;

// What a body sent by the base does wrong.
enum class BodyFault {
    None,
    MalformedJson,   // cut off in the middle
    WrongTypes,      // strings as numbers, numbers and booleans as strings
    MissingMembers,  // only "msg_type" and "message-header"
    Huge,            // a padding member of several megabytes beside the rest
};
std::optional<BodyFault> ParseBodyFault(const std::string& name);  // "malformed", "wrong-types", ...

// How the base answers one message type of the camera.
struct ReplyScript {
    std::chrono::milliseconds delay{0};  // answer slowly
    unsigned status = 200;               // any other status, e.g. 500
    bool hangUp = false;                 // close the connection without answering
    bool never = false;                  // hold the request until the camera gives up
    BodyFault body = BodyFault::None;
    // On the wire (loopback only): the head at once and the body this much
    // later; the head promising the body and the connection closing half-way
    // through it; no Content-Type.
    std::chrono::milliseconds bodyAfter{0};
    bool cutBody = false;
    bool untyped = false;
};
// "slow:MS", "500" (any status), "close", "never", "trickle:MS", "cut-body",
// "untyped", or a body fault name.
std::optional<ReplyScript> ParseReplyScript(const std::string& text);

// How the base serves its log file (a GET of its base address).
enum class LogDownload {
    Whole,
    HalfWay,  // promises the whole file, breaks off in the middle
    Garbage,  // the right length of bytes that are no log text
    Missing,  // 404: the base has no log
};
std::optional<LogDownload> ParseLogDownload(const std::string& name);  // "whole", "half-way", ...

// Writes a base log of about `bytes` bytes: one line per tick stamp, the
// stamps ascending from firstTick by tickStep and at least 100000, so that
// no other number in the log contains one. Returns the number of lines.
std::size_t GenerateBaseLog(const std::string& path, std::size_t bytes, std::uint32_t firstTick = 100000,
                            std::uint32_t tickStep = 7);
// The tick stamp of a line of a generated log (0 is the first line).
std::uint32_t BaseLogTick(std::size_t line, std::uint32_t firstTick = 100000, std::uint32_t tickStep = 7);

enum class ApprovalMode {
    AfterAnnouncements,  // approve every announcement from the approveAfter-th on
    Never,               // acknowledge announcements, never approve
    Reject,              // answer announcements 403, never approve
};

// What the base grants in its approval.
struct ApprovalGrant {
    std::string ssid = "velta-dock-ap";
    std::string psk = "dock-passphrase";
    std::string ipAddr = "10.77.0.20";
    std::string macId = "02:00:5e:10:00:01";
    bool withMqtt = false;  // the MQTT form, for a camera that accepts it
    std::string mqttAddress = "mqtt.dock.local";
    std::string mqttPassword = "mqtt-passphrase";
    std::string mqttCertificate = "-----BEGIN CERTIFICATE-----\nMIIBdock\n-----END CERTIFICATE-----\n";
    std::uint32_t mqttPortNumber = 8883;
};

// A charge report of the base, raw as the base sends it.
struct ChargeReport {
    std::string state = "Charging";
    int ntcFault = 0;
    bool batteryFault = false;
    int fault = 0;
    bool boostFault = false;
    bool watchdogFault = false;
};

struct VeltaBaseSetup {
    // The network both sides meet on; null: real loopback sockets.
    std::shared_ptr<InMemoryNetwork> network;
    std::string address = "127.0.0.1";  // where the base listens
    int port = 0;                       // 0: a port the kernel picks
    std::string path = "UsbRest/1.0";
    std::string cameraAddress = "127.0.0.1";  // the camera's inbound server
    int cameraPort = 0;                       // 0: a free port is picked now

    std::string version = "4.2.0";
    std::string apiVersion = "1.0";
    std::string room = "Dispatch Room 2";
    std::string station = "Velta Station 7";

    ApprovalMode approval = ApprovalMode::AfterAnnouncements;
    int approveAfter = 1;
    ApprovalGrant grant;
    BodyFault approvalFault = BodyFault::None;
    std::map<std::string, ReplyScript> replies;  // by message type; absent: answer normally

    std::chrono::milliseconds sendTimeout{5000};  // the base's requests to the camera
    std::size_t hugeBodyBytes = 4 * 1024 * 1024;
    std::string mqttMarker;  // the camera's MQTT support marker file; empty: none

    // The base's own log, served for download; empty: the base has none (404).
    std::string baseLogFile;
    LogDownload logDownload = LogDownload::Whole;
    // The answer to the camera's log request; a base still preparing its log
    // answers something else.
    std::string logReadyReply = "\"LogReady\"";
    // Where the camera keeps its copies of the base log and its log pipe;
    // empty: the production paths.
    std::string cameraLogFolder;
};

struct Exchange {
    enum class Direction { CameraToBase, BaseToCamera };
    Direction direction = Direction::CameraToBase;
    std::string method;
    std::string type;    // the message type named by the query
    std::string target;  // the request target
    std::string request;
    unsigned status = 0;  // 0: no answer
    std::string reply;
    std::string error;  // why there was no answer
};
// One line: direction, method, type, status or error, and the bodies cut short.
std::string Describe(const Exchange& exchange, std::size_t bodyChars = 160);

class VeltaBase {
public:
    // Starts listening; throws std::runtime_error when it cannot.
    explicit VeltaBase(VeltaBaseSetup setup = {});
    // Stops serving and drops requests not yet sent.
    ~VeltaBase();
    VeltaBase(const VeltaBase&) = delete;
    VeltaBase& operator=(const VeltaBase&) = delete;

    // The test environment with this base as the camera's base, the
    // camera's inbound server on the setup's address, the connection manager
    // answered here, the MQTT marker from the setup and short hello waits;
    // on the setup's in-memory network and its clock when it has one.
    ProtocolEnvironment Environment() const;
    int Port() const;
    int CameraPort() const;
    const VeltaBaseSetup& Setup() const;

    void SetReply(const std::string& type, ReplyScript script);
    void SetLogDownload(LogDownload how);
    void SetLogReadyReply(std::string text);
    void SetApproval(ApprovalMode mode, int approveAfter = 1);
    // The next gadget start-ups through the environment fail with this error.
    void FailGadget(int times, std::string error);
    int GadgetToggles() const;
    int Prunes() const;
    // Called on the base's threads for each finished exchange.
    void Watch(std::function<void(const Exchange&)> watcher);

    // The base's requests; each blocks until the camera answered or the
    // time limit passed.
    Exchange SendApproval(BodyFault fault = BodyFault::None);
    Exchange SendApproval(const ApprovalGrant& grant, BodyFault fault = BodyFault::None);
    Exchange SendChargeStatus(const ChargeReport& report, BodyFault fault = BodyFault::None);
    Exchange SendIgnitionState(int state, BodyFault fault = BodyFault::None);
    Exchange SendShutdownState(int state, BodyFault fault = BodyFault::None);
    Exchange SendShutdownNow();
    Exchange SendTerminateBackend();
    // Any method, query ("?type=x" or anything else) and body, as given.
    Exchange Send(const std::string& method, const std::string& query, const std::string& body);
    // Announces more body than it sends, then closes the connection (on
    // loopback only: an in-memory network has no connection to break).
    Exchange SendAndHangUp(const std::string& query, const std::string& body);

    std::vector<Exchange> Log() const;
    std::size_t Count(Exchange::Direction direction, const std::string& type) const;
    // Waits until that many exchanges of the direction and type have finished.
    bool WaitFor(Exchange::Direction direction, const std::string& type, std::size_t count,
                 std::chrono::milliseconds limit) const;

    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace tvo::DockSim
