// The emulated Velta base: how it answers the camera, what it records, and
// the environment that points a camera at it.

#include "VeltaBaseState.h"

#include <DockSim/TestEnvironment.h>

#include <DockProtocol/RestMessages.h>
#include <TestSupport/TestSupport.h>

#include <filesystem>

namespace tvo::DockSim {
namespace {

using Direction = Exchange::Direction;

struct NormalAnswer {
    unsigned status = 200;
    std::optional<web::json::value> json;  // else text
    std::string text;
};

}  // namespace

Worker::Worker() {
    thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping) {
                return;
            }
            auto job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    });
}

Worker::~Worker() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        jobs.clear();
    }
    wake.notify_all();
    thread.join();
}

void Worker::Post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
    }
    wake.notify_all();
}

VeltaBase::State::State(VeltaBaseSetup chosen) : setup(std::move(chosen)) {
    worker = std::make_unique<Worker>();
    const auto answer = [this](const RawRequest& request) { return Answer(request); };
    if (setup.network) {
        cameraPort = setup.cameraPort != 0 ? setup.cameraPort : setup.network->FreePort();
        listener = setup.network->Serve(setup.address, setup.port, answer);
        port = listener->Port();
    } else {
        cameraPort = setup.cameraPort != 0 ? setup.cameraPort : FreeTcpPort();
        server = std::make_unique<LoopbackHttpServer>(setup.address, setup.port, answer);
        port = server->Port();
    }
}

void VeltaBase::State::Stop() {
    // The server first: its answers post approvals to the worker.
    server.reset();
    listener.reset();
    worker.reset();
}

RawReply VeltaBase::State::Answer(const RawRequest& request) {
    Exchange exchange;
    exchange.direction = Direction::CameraToBase;
    exchange.method = request.method;
    exchange.target = request.target;
    exchange.type = MessageTypeOf(request.target);
    exchange.request = request.body;

    ReplyScript script;
    VeltaBaseSetup now;
    bool approve = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (const auto found = setup.replies.find(exchange.type); found != setup.replies.end()) {
            script = found->second;
        }
        if (exchange.type == rest::DeviceAnnouncementElementUSB::kType) {
            ++announcements;
            approve = setup.approval == ApprovalMode::AfterAnnouncements && announcements >= setup.approveAfter;
        }
        now = setup;
    }

    if (request.method == "GET" && exchange.type.empty()) {
        return AnswerLogDownload(std::move(exchange), now);
    }

    NormalAnswer normal;
    const std::string_view type = exchange.type;
    if (request.method != "PUT") {
        normal.status = 404;
        normal.text = "the base serves PUT only";
    } else if (type == rest::SayHelloElement::kType) {
        rest::SayHelloElement hello;
        hello.version = now.version;
        hello.api_version = now.apiVersion;
        normal.json = hello.ToJson();
    } else if (type == rest::DeviceAnnouncementElementUSB::kType) {
        const bool rejected = now.approval == ApprovalMode::Reject;
        normal.status = rejected ? 403 : 200;
        normal.text = rejected ? "announcement rejected" : "OK";
    } else if (type == rest::GetServerInfoElement::kType) {
        rest::GetServerInfoElement info;
        info.room = now.room;
        info.station = now.station;
        normal.json = info.ToJson();
    } else if (type == rest::UploadStatusElement::kType || type == rest::ChargeStatusElement::kType) {
        normal.text = "OK";
    } else if (type == rest::RequestBaseLogElement::kType) {
        normal.text = now.logReadyReply;
    } else {
        normal.status = 400;
        normal.text = "Unsupported message type: " + exchange.type;
    }

    RawReply reply;
    reply.status = normal.status;
    if (normal.json) {
        reply.contentType = "application/json";
        reply.body = ApplyFault(*normal.json, script.body, now.hugeBodyBytes);
    } else {
        reply.body = ApplyTextFault(normal.text, script.body, now.hugeBodyBytes);
    }
    if (script.status != 200) {
        reply.status = script.status;
        reply.contentType = "text/plain";
        reply.body = "the base failed on purpose";
    }
    reply.delay = script.delay;
    reply.hangUp = script.hangUp;
    reply.never = script.never;
    reply.bodyDelay = script.bodyAfter;
    if (script.cutBody) {
        reply.cutAfter = reply.body.size() / 2;
    }
    if (script.untyped) {
        reply.contentType.clear();
    }

    const bool silent = reply.hangUp || reply.never;
    exchange.status = silent ? 0 : reply.status;
    exchange.reply = silent ? std::string() : reply.body;
    exchange.error = reply.hangUp  ? "the base hung up without answering"
                     : reply.never ? "the base does not answer"
                                   : "";
    // Recorded before the camera can see the answer, so that whoever waits
    // for the camera finds the exchange in the log.
    Record(exchange);
    if (approve) {
        reply.after = [this, grant = now.grant, fault = now.approvalFault] {
            worker->Post([this, grant, fault] { SendApproval(grant, fault); });
        };
    }
    return reply;
}

RawReply VeltaBase::State::AnswerLogDownload(Exchange exchange, const VeltaBaseSetup& now) {
    RawReply reply;
    exchange.type = "";
    if (now.baseLogFile.empty() || now.logDownload == LogDownload::Missing) {
        reply.status = 404;
        reply.body = "the base has no log";
        exchange.status = reply.status;
        exchange.reply = reply.body;
        Record(exchange);
        return reply;
    }
    reply.contentType = "application/octet-stream";
    reply.bodyFile = now.baseLogFile;
    std::error_code failed;
    const auto size = std::filesystem::file_size(now.baseLogFile, failed);
    if (now.logDownload == LogDownload::HalfWay) {
        reply.cutAfter = failed ? 0 : static_cast<std::size_t>(size / 2);
    }
    reply.garble = now.logDownload == LogDownload::Garbage;
    exchange.status = reply.status;
    exchange.reply = "(" + std::to_string(failed ? 0 : size) + " bytes of log" +
                     (now.logDownload == LogDownload::HalfWay   ? ", broken off half-way)"
                      : now.logDownload == LogDownload::Garbage ? ", garbled)"
                                                                : ")");
    Record(exchange);
    return reply;
}

void VeltaBase::State::Record(const Exchange& exchange) {
    std::function<void(const Exchange&)> watching;
    {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(exchange);
        watching = watcher;
    }
    changed.notify_all();
    if (watching) {
        std::lock_guard<std::mutex> lock(watchMutex);
        watching(exchange);
    }
}

VeltaBase::VeltaBase(VeltaBaseSetup setup) : state(std::make_shared<State>(std::move(setup))) {}

VeltaBase::~VeltaBase() {
    state->Stop();
}

ProtocolEnvironment VeltaBase::Environment() const {
    ProtocolEnvironment environment = TestEnvironment(state->files.path().string());
    auto& velta = environment.velta;
    velta.baseAddress = state->setup.address;
    velta.basePort = state->port;
    velta.listenAddress = state->setup.cameraAddress;
    velta.listenPort = state->cameraPort;
    velta.path = state->setup.path;
    // Loopback answers at once; a silent base must not hold a test for long.
    velta.helloTimeout = std::chrono::milliseconds(1000);
    velta.requestTimeout = std::chrono::milliseconds(3000);
    environment.files.mqttSupportMarker = state->setup.mqttMarker;
    if (const auto& folder = state->setup.cameraLogFolder; !folder.empty()) {
        environment.files.baseLogCopy = folder + "/velta.log";
        environment.files.trimmedBaseLogCopy = folder + "/velta-trimmed.log";
        velta.logPipe = folder + "/wifilogpipe";
    }

    std::shared_ptr<State> shared = state;
    environment.system.pruneProvisionFile = [shared](std::string_view, std::string_view) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        ++shared->prunes;
    };
    environment.system.toggleConnection = [shared](connman::ConnectionType, bool) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        ++shared->gadgetToggles;
        if (shared->gadgetFailures > 0) {
            --shared->gadgetFailures;
            return connman::ToggleResult{false, shared->gadgetError};
        }
        return connman::ToggleResult{true, ""};
    };
    if (state->setup.network) {
        state->setup.network->Attach(environment);
    }
    return environment;
}

int VeltaBase::Port() const {
    return state->port;
}
int VeltaBase::CameraPort() const {
    return state->cameraPort;
}
const VeltaBaseSetup& VeltaBase::Setup() const {
    return state->setup;
}

void VeltaBase::SetReply(const std::string& type, ReplyScript script) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->setup.replies[type] = script;
}

void VeltaBase::SetLogDownload(LogDownload how) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->setup.logDownload = how;
}

void VeltaBase::SetLogReadyReply(std::string text) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->setup.logReadyReply = std::move(text);
}

void VeltaBase::SetApproval(ApprovalMode mode, int approveAfter) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->setup.approval = mode;
    state->setup.approveAfter = approveAfter;
    state->announcements = 0;
}

void VeltaBase::FailGadget(int times, std::string error) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->gadgetFailures = times;
    state->gadgetError = std::move(error);
}

int VeltaBase::GadgetToggles() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->gadgetToggles;
}

int VeltaBase::Prunes() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->prunes;
}

void VeltaBase::Watch(std::function<void(const Exchange&)> watcher) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->watcher = std::move(watcher);
}

std::vector<Exchange> VeltaBase::Log() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->log;
}

std::size_t VeltaBase::Count(Direction direction, const std::string& type) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    std::size_t count = 0;
    for (const auto& exchange : state->log) {
        count += exchange.direction == direction && exchange.type == type ? 1 : 0;
    }
    return count;
}

bool VeltaBase::WaitFor(Direction direction, const std::string& type, std::size_t count,
                        std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->changed.wait_for(lock, limit, [&] {
        std::size_t seen = 0;
        for (const auto& exchange : state->log) {
            seen += exchange.direction == direction && exchange.type == type ? 1 : 0;
        }
        return seen >= count;
    });
}

}  // namespace tvo::DockSim
