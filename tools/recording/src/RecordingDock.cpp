// The recorder on the host's interface: each call of the host with its
// result record, each call-back with the host's answer.

#include "RecordingWrappers.h"
#include "ResultRecords.h"

#include <type_traits>
#include <utility>

namespace tvo::Recording {
namespace {

using web::json::value;
using State = Recorder::State;
using Dock = DockProtoIF;

value Args() {
    return value::object(true);
}

template <typename... Pairs>
value Args(const char* name, value first, Pairs&&... rest) {
    value args = Args(std::forward<Pairs>(rest)...);
    args[name] = std::move(first);
    return args;
}

// One call: its event on the way in, its result on the way out.
class Call {
public:
    Call(const std::shared_ptr<State>& state, const char* kind, const char* op, value args)
        : state(state),
          id(state->NextId()),
          op(op),
          returnKind(std::string(kind) == "call" ? "return" : "callback-return") {
        value event = value::object(true);
        event["kind"] = value::string(kind);
        event["id"] = value::number(id);
        event["op"] = value::string(op);
        event["args"] = std::move(args);
        state->Emit(std::move(event));
    }

    void Return(Dock::ReturnCode code, value result = value::null()) const {
        value event = value::object(true);
        event["kind"] = value::string(returnKind);
        event["id"] = value::number(id);
        event["op"] = value::string(op);
        event["code"] = value::string(CodeName(code));
        if (!result.is_null()) {
            event["value"] = std::move(result);
        }
        state->Emit(std::move(event));
    }

    void Answer(value result) const {
        value event = value::object(true);
        event["kind"] = value::string(returnKind);
        event["id"] = value::number(id);
        event["op"] = value::string(op);
        if (!result.is_null()) {
            event["value"] = std::move(result);
        }
        state->Emit(std::move(event));
    }

private:
    std::shared_ptr<State> state;
    std::int64_t id;
    const char* op;
    const char* returnKind;
};

class RecordingDock : public Dock {
public:
    RecordingDock(Dock& inner, std::shared_ptr<State> state) : inner(inner), state(std::move(state)) {
        // A replay makes an object of the same kind at the same place.
        value event = value::object(true);
        event["kind"] = value::string("object");
        event["id"] = value::number(this->state->NextId());
        event["dock"] = value::string(std::string(inner.GetName()));
        this->state->Emit(std::move(event));
    }

    std::uint32_t TrimBaseLogFile(unsigned int tick) override { return inner.TrimBaseLogFile(tick); }

protected:
    ReturnCode DoSayHello() override {
        return Plain("SayHello", Args(), [&] { return inner.SayHello(); });
    }
    ReturnCode DoBlockProtocol() override {
        return Plain("BlockProtocol", Args(), [&] { return inner.BlockProtocol(); });
    }
    Result<NetworkConfig> DoProvisionNetwork() override {
        return WithValue("ProvisionNetwork", Args(), [&] { return inner.ProvisionNetwork(); });
    }
    ReturnCode DoSwitchChannel() override {
        return Plain("SwitchChannel", Args(), [&] { return inner.SwitchChannel(); });
    }
    ReturnCode DoSetWifiMac(const std::string& mac) override {
        return Plain("SetWifiMac", Args("mac", Bytes(mac)), [&] { return inner.SetWifiMac(mac); });
    }
    ReturnCode DoSetSerialNumber(const std::string& serial) override {
        return Plain("SetSerialNumber", Args("serialNumber", Bytes(serial)),
                     [&] { return inner.SetSerialNumber(serial); });
    }
    Result<AssociationInfo> DoAssociate() override {
        return WithValue("Associate", Args(), [&] { return inner.Associate(); });
    }
    Result<ServerInfo> DoGetServerInfo() override {
        return WithValue("GetServerInfo", Args(), [&] { return inner.GetServerInfo(); });
    }
    Result<std::uint32_t> DoGetShutdown() override {
        return WithValue("GetShutdown", Args(), [&] { return inner.GetShutdown(); });
    }
    ReturnCode DoSetUploadStatus(UploadStatus status) override {
        return Plain("SetUploadStatus", Args("status", value::number(static_cast<std::uint32_t>(status))),
                     [&] { return inner.SetUploadStatus(status); });
    }
    AsyncResult DoSetUploadStatusAsync(UploadStatus status) override {
        return Async("SetUploadStatusAsync", static_cast<std::uint32_t>(status),
                     [&] { return inner.SetUploadStatusAsync(status); });
    }
    ReturnCode DoSetChargeStatus(ChargeStatus status) override {
        return Plain("SetChargeStatus", Args("status", value::number(static_cast<std::uint32_t>(status))),
                     [&] { return inner.SetChargeStatus(status); });
    }
    AsyncResult DoSetChargeStatusAsync(ChargeStatus status) override {
        return Async("SetChargeStatusAsync", static_cast<std::uint32_t>(status),
                     [&] { return inner.SetChargeStatusAsync(status); });
    }
    Result<std::uint32_t> DoGetChargeFault() override {
        return WithValue("GetChargeFault", Args(), [&] { return inner.GetChargeFault(); });
    }
    std::string_view DoGetName() override { return inner.GetName(); }
    ReturnCode DoRequestBaseLog(unsigned int tick) override {
        return Plain("RequestBaseLog", Args("tick", value::number(tick)), [&] { return inner.RequestBaseLog(tick); });
    }
    ReturnCode DoDownloadBaseLog(unsigned int tick) override {
        return Plain("DownloadBaseLog", Args("tick", value::number(tick)), [&] { return inner.DownloadBaseLog(tick); });
    }
    Result<std::uint32_t> DoCheckNetwork() override {
        return WithValue("CheckNetwork", Args(), [&] { return inner.CheckNetwork(); });
    }
    ReturnCode DoSetShutdownCallback(std::function<void(Shutdown::ShutdownType)> callback) override {
        auto recorded = [state = state, callback = std::move(callback)](Shutdown::ShutdownType type) {
            const Call call(state, "callback", "Shutdown",
                            Args("type", value::number(static_cast<std::uint32_t>(type))));
            if (callback) {
                callback(type);
            }
            call.Answer(value::null());
        };
        return Plain("SetShutdownCallback", Args(), [&] { return inner.SetShutdownCallback(std::move(recorded)); });
    }
    ReturnCode DoSetTerminateBackendCallback(std::function<void()> callback) override {
        auto recorded = [state = state, callback = std::move(callback)]() {
            const Call call(state, "callback", "TerminateBackend", Args());
            if (callback) {
                callback();
            }
            call.Answer(value::null());
        };
        return Plain("SetTerminateBackendCallback", Args(),
                     [&] { return inner.SetTerminateBackendCallback(std::move(recorded)); });
    }
    ReturnCode DoCancel() override {
        return Plain("Cancel", Args(), [&] { return inner.Cancel(); });
    }

private:
    Dock& inner;
    std::shared_ptr<State> state;

    template <typename Run>
    ReturnCode Plain(const char* op, value args, Run run) {
        const Call call(state, "call", op, std::move(args));
        const ReturnCode code = run();
        call.Return(code);
        return code;
    }

    template <typename Run>
    std::invoke_result_t<Run> WithValue(const char* op, value args, Run run) {
        const Call call(state, "call", op, std::move(args));
        auto result = run();
        call.Return(result.code, ValueOf(result.value));
        return result;
    }

    template <typename Run>
    AsyncResult Async(const char* op, std::uint32_t status, Run run) {
        const Call call(state, "call", op, Args("status", value::number(status)));
        AsyncResult result = run();
        value handle = value::object(true);
        handle["handle"] = value::boolean(result.handle != nullptr);
        call.Return(result.code, std::move(handle));
        return result;
    }

    static value ValueOf(std::uint32_t number) { return value::number(number); }
    template <typename Record_>
    static value ValueOf(const Record_& record) {
        return Record(record);
    }
};

class RecordingOskinHost : public OskinDockCallbackIF {
public:
    RecordingOskinHost(OskinDockCallbackIF& inner, std::shared_ptr<State> state)
        : inner(inner), state(std::move(state)) {}

    void OnConnectionReady() override {
        const Call call(state, "callback", "OnConnectionReady", Args());
        inner.OnConnectionReady();
        call.Answer(value::null());
    }
    std::string GetCameraConfigUri() override {
        const Call call(state, "callback", "GetCameraConfigUri", Args());
        std::string uri = inner.GetCameraConfigUri();
        call.Answer(Bytes(uri));
        return uri;
    }
    std::vector<Capability> GetCameraCapabilities() override {
        const Call call(state, "callback", "GetCameraCapabilities", Args());
        auto capabilities = inner.GetCameraCapabilities();
        call.Answer(Record(capabilities));
        return capabilities;
    }
    bool IsUsbDeviceProvisioned() override {
        const Call call(state, "callback", "IsUsbDeviceProvisioned", Args());
        const bool provisioned = inner.IsUsbDeviceProvisioned();
        call.Answer(value::boolean(provisioned));
        return provisioned;
    }
    ProvisioningStatus GetProvisioningStatus() override {
        const Call call(state, "callback", "GetProvisioningStatus", Args());
        auto status = inner.GetProvisioningStatus();
        call.Answer(Record(status));
        return status;
    }

private:
    OskinDockCallbackIF& inner;
    std::shared_ptr<State> state;
};

}  // namespace

void Recorder::Attach(ProtocolEnvironment& environment) const {
    // The settings that shape what the camera says, for a replay to take.
    value event = value::object(true);
    event["kind"] = value::string("environment");
    value pallix = value::object(true);
    pallix["dockHostName"] = value::string(environment.pallix.dockHostName);
    pallix["proxyHostName"] = value::string(environment.pallix.proxyHostName);
    pallix["dnsResolver"] = value::string(environment.pallix.dnsResolver);
    event["pallix"] = std::move(pallix);
    value velta = value::object(true);
    velta["path"] = value::string(environment.velta.path);
    velta["logDownloadLimit"] = value::number(static_cast<std::uint64_t>(environment.velta.logDownloadLimit));
    event["velta"] = std::move(velta);
    value oskin = value::object(true);
    oskin["path"] = value::string(environment.oskin.path);
    event["oskin"] = std::move(oskin);
    state->Emit(std::move(event));
    AttachTransport(environment.transport, state);
    AttachSystem(environment.system, state);
    AttachHostsFile(environment, state);
}

std::unique_ptr<DockProtoIF> Recorder::Wrap(DockProtoIF& dock) const {
    return std::make_unique<RecordingDock>(dock, state);
}

std::unique_ptr<OskinDockCallbackIF> Recorder::Wrap(OskinDockCallbackIF& host) const {
    return std::make_unique<RecordingOskinHost>(host, state);
}

}  // namespace tvo::Recording
