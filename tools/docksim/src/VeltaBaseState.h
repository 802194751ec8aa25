#pragma once
// Inside the emulated Velta base: its script, its log, the server thread that
// answers the camera and the worker thread that sends the base's own requests.

#include "VeltaBaseHttp.h"

#include <DockSim/VeltaBase.h>
#include <TestSupport/TestSupport.h>

#include <cpprest/json.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tvo::DockSim {

// Runs jobs one after the other on its own thread, so that the base's server
// thread never waits for the camera.
class Worker {
public:
    Worker();
    // Drops the jobs not yet started and waits for the running one.
    ~Worker();
    void Post(std::function<void()> job);

private:
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    std::thread thread;
};

// The message type that a request target or query names: what follows the
// first "type=", or "" without one.
std::string MessageTypeOf(const std::string& targetOrQuery);

// A message body as the fault makes it. Text bodies get a fault of the same
// kind where one makes sense.
std::string ApplyFault(web::json::value message, BodyFault fault, std::size_t hugeBytes);
std::string ApplyTextFault(const std::string& text, BodyFault fault, std::size_t hugeBytes);

struct VeltaBase::State {
    explicit State(VeltaBaseSetup setup);

    RawReply Answer(const RawRequest& request);
    // A GET of the base address: the base's log file, as the setup breaks it.
    RawReply AnswerLogDownload(Exchange exchange, const VeltaBaseSetup& now);
    void Record(const Exchange& exchange);
    Exchange Send(const std::string& method, const std::string& query, const std::string& body);
    Exchange SendMessage(const std::string& type, web::json::value message, BodyFault fault);
    Exchange SendApproval(const ApprovalGrant& grant, BodyFault fault);
    std::string CameraUri() const;
    // Ends both threads; the state may live on in environments handed out.
    void Stop();

    TempDir files;  // the camera-side files of the environments handed out

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    VeltaBaseSetup setup;  // guarded by mutex where it can change
    std::vector<Exchange> log;
    int announcements = 0;
    std::function<void(const Exchange&)> watcher;
    std::mutex watchMutex;  // one watcher call at a time
    int gadgetToggles = 0;
    int gadgetFailures = 0;
    std::string gadgetError;
    int prunes = 0;
    int cameraPort = 0;
    int port = 0;

    std::unique_ptr<Worker> worker;
    std::unique_ptr<LoopbackHttpServer> server;           // on loopback
    std::unique_ptr<InMemoryNetwork::Listener> listener;  // on an in-memory network
};

}  // namespace tvo::DockSim
