// Runs a recording's host calls again against the recorded dock, with the
// dock's own requests delivered where the recording has them, and holds
// every result against the recording.

#include <Recording/Replay.h>

#include "ReplayScript.h"
#include "ReplaySystem.h"
#include "ReplayTransport.h"
#include "ResultRecords.h"

#include <DockProtocol/DockProtocol.h>
#include <DockSim/TestEnvironment.h>
#include <TestSupport/TestSupport.h>

#include <thread>

namespace tvo::Recording {
namespace {

using web::json::value;
using Dock = DockProtoIF;
using namespace std::chrono_literals;

// A real-time bound on waits the recording cannot settle: a request for a
// server that never listens, a handle that never finishes.
constexpr auto kPatience = 2s;

std::string Shown(const value& event) {
    std::string text = StringField(event, "code");
    if (const auto* result = Field(event, "value")) {
        text += (text.empty() ? "" : " ") + Brief(*result);
    }
    return text;
}

// What the host recorded of its call-backs, and what the replay saw.
class Callbacks {
public:
    explicit Callbacks(const Recording& recording) {
        for (std::size_t i = 0; i < recording.events.size(); ++i) {
            if (recording.events[i].kind == "callback") {
                value event;
                std::error_code error;
                event = value::parse(recording.events[i].json, error);
                if (!error) {
                    recorded.push_back({i, Describe(event)});
                }
            }
        }
    }

    void Called(const std::string& op, value args) {
        value event = value::object(true);
        event["op"] = value::string(op);
        event["args"] = std::move(args);
        MutexLock lock(mutex);
        seen.push_back(Describe(event));
    }

    void Compare(Script& script) {
        MutexLock lock(mutex);
        for (std::size_t i = 0; i < std::max(recorded.size(), seen.size()); ++i) {
            const std::string was = i < recorded.size() ? recorded[i].second : "nothing";
            const std::string now = i < seen.size() ? seen[i] : "nothing";
            const std::size_t place = i < recorded.size() ? recorded[i].first : SIZE_MAX;
            script.Record(place, {"callback " + std::to_string(i + 1), was, now, was == now});
            if (was != now) {
                script.Differ(place, "call-back " + std::to_string(i + 1) + ": recorded " + was + ", replayed " + now);
            }
        }
    }

private:
    static std::string Describe(const value& event) {
        const auto* args = Field(event, "args");
        return StringField(event, "op") + "(" + (args ? args->serialize() : std::string()) + ")";
    }

    std::vector<std::pair<std::size_t, std::string>> recorded;
    Mutex mutex;
    std::vector<std::string> seen PMX_GUARDED_BY(mutex);
};

// The Oskin host's answers, as recorded.
class RecordedOskinHost : public OskinDockCallbackIF {
public:
    RecordedOskinHost(std::shared_ptr<Script> script, Callbacks& callbacks)
        : script(std::move(script)), callbacks(callbacks) {}

    void OnConnectionReady() override { Called("OnConnectionReady"); }
    std::string GetCameraConfigUri() override {
        const value answer = Called("GetCameraConfigUri");
        std::string uri;
        BytesOf(answer, uri);
        return uri;
    }
    std::vector<Capability> GetCameraCapabilities() override {
        return CapabilitiesFrom(Called("GetCameraCapabilities"));
    }
    bool IsUsbDeviceProvisioned() override {
        const value answer = Called("IsUsbDeviceProvisioned");
        return answer.is_boolean() && answer.as_bool();
    }
    ProvisioningStatus GetProvisioningStatus() override { return ProvisioningFrom(Called("GetProvisioningStatus")); }

private:
    std::shared_ptr<Script> script;
    Callbacks& callbacks;

    value Called(const std::string& op) {
        callbacks.Called(op, value::object(true));
        return script->CallbackAnswer(op);
    }
};

class Host {
public:
    Host(std::shared_ptr<Script> script, ProtocolEnvironment environment, std::string dock, Callbacks& callbacks)
        : script(std::move(script)),
          environment(std::move(environment)),
          dockKind(std::move(dock)),
          callbacks(callbacks),
          oskinHost(this->script, callbacks) {}

    void Run(const HostCall& call) {
        const value& event = call.call.event;
        const std::string op = StringField(event, "op");
        if (StringField(event, "kind") == "object") {
            Make(StringField(event, "dock"));
            return;
        }
        if (!dock) {
            Make(dockKind.empty() ? "Default" : dockKind);
        }
        const auto* argsField = Field(event, "args");
        const value args = argsField ? *argsField : value::object(true);
        value replayed = value::object(true);
        Invoke(op, args, replayed);
        // Read back as the recording was, so that field order does not count.
        std::error_code error;
        replayed = value::parse(replayed.serialize(), error);
        const std::string recorded = call.result ? Shown(call.result->event) : "no return recorded";
        const std::string now = Shown(replayed);
        const bool agrees = call.result && recorded == now;
        const std::string name = op + (args.size() ? " " + args.serialize() : std::string());
        script->Record(call.call.index, {name, recorded, now, agrees});
        if (!agrees) {
            // Placed where the call ended: a request that differed on the way
            // comes first.
            script->Differ(call.result ? call.result->index : call.call.index,
                           name + " was " + recorded + ", now " + now);
        }
    }

    void Finish() { dock.reset(); }

private:
    std::shared_ptr<Script> script;
    ProtocolEnvironment environment;
    std::string dockKind;
    Callbacks& callbacks;
    RecordedOskinHost oskinHost;
    std::unique_ptr<Dock> dock;

    void Make(const std::string& recordedKind) {
        dock.reset();
        const std::string kind = dockKind.empty() ? recordedKind : dockKind;
        if (kind == "Dravo") {
            dock = std::make_unique<DockProtoDravo>(environment);
        } else if (kind == "Velta") {
            dock = std::make_unique<DockProtoVelta>(environment);
        } else if (kind == "Oskin") {
            dock = std::make_unique<DockProtoOskin>(environment, &oskinHost);
        } else if (kind == "Pallix") {
            dock = std::make_unique<DockProtoPallix>(environment);
        } else {
            dock = InterfaceFactory::Create<Dock, std::string_view, DockCallbackIF*>(kind, "", nullptr);
        }
    }

    static std::uint32_t Number(const value& args, const char* name) {
        return static_cast<std::uint32_t>(IntField(args, name));
    }
    static std::string Text(const value& args, const char* name) {
        std::string text;
        if (const auto* field = Field(args, name)) {
            BytesOf(*field, text);
        }
        return text;
    }

    template <typename T>
    static void Put(value& replayed, const Dock::Result<T>& result) {
        replayed["code"] = value::string(CodeName(result.code));
        if constexpr (std::is_same_v<T, std::uint32_t>) {
            replayed["value"] = value::number(result.value);
        } else {
            replayed["value"] = Record(result.value);
        }
    }
    static void Put(value& replayed, Dock::ReturnCode code) { replayed["code"] = value::string(CodeName(code)); }

    void Async(value& replayed, Dock::AsyncResult result) {
        replayed["code"] = value::string(CodeName(result.code));
        value handle = value::object(true);
        handle["handle"] = value::boolean(result.handle != nullptr);
        replayed["value"] = std::move(handle);
        // The host polls the handle until the base has answered.
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        try {
            while (result.handle && !result.handle->IsDone() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
        } catch (const std::exception&) {
            // The recording has the request's end; the host only waits for it.
        }
    }

    void Invoke(const std::string& op, const value& args, value& replayed) {
        if (op == "SayHello") {
            Put(replayed, dock->SayHello());
        } else if (op == "BlockProtocol") {
            Put(replayed, dock->BlockProtocol());
        } else if (op == "ProvisionNetwork") {
            Put(replayed, dock->ProvisionNetwork());
        } else if (op == "SwitchChannel") {
            Put(replayed, dock->SwitchChannel());
        } else if (op == "SetWifiMac") {
            Put(replayed, dock->SetWifiMac(Text(args, "mac")));
        } else if (op == "SetSerialNumber") {
            Put(replayed, dock->SetSerialNumber(Text(args, "serialNumber")));
        } else if (op == "Associate") {
            Put(replayed, dock->Associate());
        } else if (op == "GetServerInfo") {
            Put(replayed, dock->GetServerInfo());
        } else if (op == "GetShutdown") {
            Put(replayed, dock->GetShutdown());
        } else if (op == "SetUploadStatus") {
            Put(replayed, dock->SetUploadStatus(static_cast<Dock::UploadStatus>(Number(args, "status"))));
        } else if (op == "SetUploadStatusAsync") {
            Async(replayed, dock->SetUploadStatusAsync(static_cast<Dock::UploadStatus>(Number(args, "status"))));
        } else if (op == "SetChargeStatus") {
            Put(replayed, dock->SetChargeStatus(static_cast<Dock::ChargeStatus>(Number(args, "status"))));
        } else if (op == "SetChargeStatusAsync") {
            Async(replayed, dock->SetChargeStatusAsync(static_cast<Dock::ChargeStatus>(Number(args, "status"))));
        } else if (op == "GetChargeFault") {
            Put(replayed, dock->GetChargeFault());
        } else if (op == "CheckNetwork") {
            Put(replayed, dock->CheckNetwork());
        } else if (op == "RequestBaseLog") {
            Put(replayed, dock->RequestBaseLog(Number(args, "tick")));
        } else if (op == "DownloadBaseLog") {
            // The camera's log collector reads the pipe, as on the camera.
            FifoReader collector(
                environment.velta.logPipe, [](std::string_view) { return true; }, kPatience);
            Put(replayed, dock->DownloadBaseLog(Number(args, "tick")));
            collector.Finish();
        } else if (op == "SetShutdownCallback") {
            Put(replayed, dock->SetShutdownCallback([this](Shutdown::ShutdownType type) {
                value callArgs = value::object(true);
                callArgs["type"] = value::number(static_cast<std::uint32_t>(type));
                callbacks.Called("Shutdown", std::move(callArgs));
            }));
        } else if (op == "SetTerminateBackendCallback") {
            Put(replayed, dock->SetTerminateBackendCallback(
                              [this] { callbacks.Called("TerminateBackend", value::object(true)); }));
        } else if (op == "Cancel") {
            Put(replayed, dock->Cancel());
        } else {
            replayed["code"] = value::string("unknown call");
        }
    }
};

// Delivers the dock's recorded requests to the camera's servers, each when
// the host has come to it, and holds the replies against the recording.
void DeliverInbound(Script& script, CameraServers& servers) {
    for (const auto& exchange : script.Inbound()) {
        const value& request = exchange.request.event;
        const std::string method = StringField(request, "method");
        const std::string uri = StringField(request, "target");
        std::string body;
        if (const auto* recorded = Field(request, "body")) {
            BytesOf(*recorded, body);
        }
        const std::string name = "dock: " + method + " " + uri;
        script.WaitUntilDue(exchange, std::chrono::hours(1));
        std::pair<HttpServerIF::StatusCode, std::string> reply;
        bool delivered = false;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!(delivered = servers.Deliver(method, uri, body, reply)) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        const std::string recorded =
            exchange.reply ? std::to_string(IntField(exchange.reply->event, "status")) + " " +
                                 Brief(exchange.reply->event.has_field("body") ? exchange.reply->event.at("body")
                                                                               : value::string(""))
                           : "no reply recorded";
        const std::string now = delivered
                                    ? std::to_string(static_cast<int>(reply.first)) + " " + Brief(Bytes(reply.second))
                                    : "no camera server listened";
        // A body kept only as its digest and ends cannot be sent again as it
        // was: the status is all that can agree.
        const auto* sentBody = Field(request, "body");
        const bool digest = sentBody && Field(*sentBody, "sha256");
        const bool agrees = exchange.reply && (digest ? recorded.substr(0, 4) == now.substr(0, 4) : recorded == now);
        script.Record(exchange.request.index, {name, recorded, now, agrees});
        if (!agrees) {
            script.Differ(exchange.request.index, name + " was answered " + recorded + ", now " + now);
        }
        script.Delivered();
    }
}

// The recorded settings that shape what the camera says.
void Apply(const value& settings, ProtocolEnvironment& environment) {
    if (const auto* pallix = Field(settings, "pallix")) {
        auto& target = environment.pallix;
        target.dockHostName = StringField(*pallix, "dockHostName", target.dockHostName);
        target.proxyHostName = StringField(*pallix, "proxyHostName", target.proxyHostName);
        target.dnsResolver = StringField(*pallix, "dnsResolver", target.dnsResolver);
    }
    if (const auto* velta = Field(settings, "velta")) {
        environment.velta.path = StringField(*velta, "path", environment.velta.path);
        const std::int64_t limit = IntField(*velta, "logDownloadLimit", 0);
        if (limit > 0) {
            environment.velta.logDownloadLimit = static_cast<std::size_t>(limit);
        }
    }
    if (const auto* oskin = Field(settings, "oskin")) {
        environment.oskin.path = StringField(*oskin, "path", environment.oskin.path);
    }
}

}  // namespace

ReplayResult Replay(const Recording& recording, const ReplayOptions& options) {
    auto script = std::make_shared<Script>(recording);
    auto servers = std::make_shared<CameraServers>();
    auto time = std::make_shared<VirtualTime>();
    ProtocolEnvironment environment = DockSim::TestEnvironment(options.folder);
    Apply(script->Settings(), environment);
    ReplayTransport(environment.transport, script, servers);
    ReplaySystem(environment.system, script, time);

    Callbacks callbacks(recording);
    {
        Host host(script, environment, options.dock, callbacks);
        std::thread dock([&] { DeliverInbound(*script, *servers); });
        const auto& calls = script->HostCalls();
        for (const auto& call : calls) {
            // First what the dock did before the call, then the call, with
            // what the dock did while it ran.
            script->Reach(call.call.index);
            script->WaitDelivered(call.call.index, kPatience);
            script->Reach(call.result ? call.result->index : call.call.index + 1);
            host.Run(call);
        }
        script->Reach(SIZE_MAX);
        dock.join();
        host.Finish();
    }
    callbacks.Compare(*script);
    script->Leftovers();
    ReplayResult result = script->Result();
    result.notes = recording.problems;
    return result;
}

}  // namespace tvo::Recording
