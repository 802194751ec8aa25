// HTTP over the in-memory network: a client that hands its requests to the
// endpoint registered at its address, and a server for the camera's side that
// registers one and routes like the real server.

#include "InMemoryParts.h"

#include <Common/FileCalls.h>
#include <FileDescriptor/FileDescriptor.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>
#include <HttpRest/StreamedResponse.h>
#include <TestSupport/TestSupport.h>

#include <cpprest/http_msg.h>
#include <cpprest/uri_builder.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>
#include <stdexcept>

namespace tvo::DockSim {

// ---- SerialExecutor ----

SerialExecutor::SerialExecutor() : shared(std::make_shared<Shared>()) {
    thread = std::thread([shared = shared] { Run(shared); });
}

SerialExecutor::~SerialExecutor() {
    Stop();
}

void SerialExecutor::Post(Job job) {
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (!shared->stopping) {
            shared->jobs.push_back(std::move(job));
            shared->wake.notify_one();
            return;
        }
    }
    job(false);
}

void SerialExecutor::Stop() {
    std::deque<Job> dropped;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->stopping = true;
        dropped.swap(shared->jobs);
        shared->wake.notify_one();
    }
    for (auto& job : dropped) {
        job(false);
    }
    std::lock_guard<std::mutex> lock(threadMutex);
    if (!thread.joinable()) {
        return;
    }
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();  // the thread holds what it needs, and ends after this job
    } else {
        thread.join();
    }
}

void SerialExecutor::Run(const std::shared_ptr<Shared>& shared) {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->stopping || !shared->jobs.empty(); });
            if (shared->stopping) {
                return;
            }
            job = std::move(shared->jobs.front());
            shared->jobs.pop_front();
        }
        job(true);
    }
}

namespace {

// What became of one request.
struct Outcome {
    std::exception_ptr error;
    unsigned status = 0;
    std::string contentType;
    std::string body;
    // The head came; the body broke off with this.
    std::exception_ptr bodyError;
};

std::exception_ptr Broken(const std::string& why) {
    return std::make_exception_ptr(web::http::http_exception(why));
}

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The reply as the client receives it, the peer's delay spent on the clock.
Outcome Deliver(const RawReply& reply, VirtualClock& clock, std::chrono::milliseconds limit,
                const std::string& target) {
    Outcome outcome;
    if (reply.never || reply.delay >= limit) {
        clock.Sleep(limit);
        outcome.error = Broken("request to " + target + " timed out");
        return outcome;
    }
    // A prompt peer is no sleeper: counting it would blur the sleeps the
    // protocol itself makes.
    if (reply.delay.count() > 0) {
        clock.Sleep(reply.delay);
    }
    if (reply.hangUp) {
        outcome.error = Broken("connection to " + target + " closed without a reply");
        return outcome;
    }
    outcome.status = reply.status;
    outcome.contentType = reply.contentType;
    outcome.body = reply.body;
    if (!reply.bodyFile.empty()) {
        try {
            outcome.body = ReadWhole(reply.bodyFile);
        } catch (const std::exception& e) {
            outcome.status = 500;
            outcome.body = e.what();
            return outcome;
        }
        if (reply.garble) {
            for (auto& c : outcome.body) {
                c = static_cast<char>(static_cast<unsigned char>(c) | 0x80u);
            }
        }
    }
    if (reply.cutAfter < outcome.body.size()) {
        outcome.body.resize(reply.cutAfter);
        outcome.bodyError = Broken("connection to " + target + " broke off in the reply body");
    }
    return outcome;
}

// One request under way: whoever finishes it first (the server's thread, a
// cancellation, a stopping server) decides its outcome.
class Pending {
public:
    explicit Pending(std::function<void(Outcome)> deliver) : deliver(std::move(deliver)) {}
    void Finish(Outcome outcome) {
        if (!finished.exchange(true)) {
            deliver(std::move(outcome));
        }
    }
    bool Finished() const { return finished.load(); }

private:
    std::atomic<bool> finished{false};
    std::function<void(Outcome)> deliver;
};

class MemoryClient : public HttpClientIF {
public:
    MemoryClient(std::shared_ptr<InMemoryNetwork::State> network, const HttpClientOptions& options, ReplyFault fault)
        : network(std::move(network)), options(options), fault(std::move(fault)) {}
    ~MemoryClient() override { cancel(); }

    pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                 const std::string& body) override {
        pplx::task_completion_event<web::http::http_response> done;
        const auto task = pplx::create_task(done);
        const std::size_t limit = maxReply.load();
        Send(method, pathAndQuery, body, [done, task, limit](Outcome outcome) {
            if (outcome.error) {
                done.set_exception(outcome.error);
                // Observed here, so that a failure nobody asks for does not
                // end the process; a continuation for it would run on the
                // pool after the caller may have gone.
                try {
                    task.get();
                } catch (...) {
                }
                return;
            }
            // As the real client hands it over: the status and headers, the
            // body behind them, failing past the limit.
            StreamedResponse response(static_cast<unsigned short>(outcome.status));
            if (!outcome.contentType.empty()) {
                response.AddHeader("Content-Type", outcome.contentType);
            }
            if (outcome.body.size() > limit) {
                response.Fail(std::make_exception_ptr(
                    std::runtime_error("reply is larger than the limit of " + std::to_string(limit) + " bytes")));
            } else if (outcome.bodyError) {
                response.Fail(outcome.bodyError);
            } else {
                response.Append(outcome.body.data(), outcome.body.size());
                response.Finish();
            }
            done.set(response.Response());
        });
        return task;
    }

    bool download(const std::string& destinationPath) override {
        auto promise = std::make_shared<std::promise<Outcome>>();
        Send("GET", "", "", [promise](Outcome outcome) { promise->set_value(std::move(outcome)); });
        const Outcome outcome = promise->get_future().get();
        if (outcome.error || outcome.bodyError || outcome.status != 200 || outcome.body.size() > maxReply.load()) {
            return false;
        }
        // As the real client does it, through the same calls: a new file
        // beside the destination, renamed over it when whole.
        const FileCalls& calls = options.files ? *options.files : *FileCalls::System();
        const std::string part = destinationPath + ".part";
        const int fd = calls.open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        const FileDescriptor file(fd);
        std::string_view left = outcome.body;
        while (!left.empty()) {
            const ssize_t written = calls.write(file.Get(), left.data(), left.size());
            if (written < 0) {
                calls.unlink(part.c_str());
                return false;
            }
            left.remove_prefix(static_cast<std::size_t>(written));
        }
        if (calls.rename(part.c_str(), destinationPath.c_str()) != 0) {
            calls.unlink(part.c_str());
            return false;
        }
        return true;
    }

    void cancel() override {
        std::vector<std::weak_ptr<Pending>> underWay;
        {
            std::lock_guard<std::mutex> lock(mutex);
            underWay.swap(pending);
        }
        for (const auto& weak : underWay) {
            if (auto request = weak.lock()) {
                request->Finish(Cancelled());
            }
        }
    }

    void setMaxReplySize(std::size_t bytes) override { maxReply = bytes; }

private:
    Outcome Cancelled() const {
        Outcome outcome;
        outcome.error = std::make_exception_ptr(RequestCancelled("HTTP request to " + options.baseUri + " cancelled"));
        return outcome;
    }

    void Send(const std::string& method, const std::string& pathAndQuery, const std::string& body,
              std::function<void(Outcome)> deliver) {
        auto request = std::make_shared<Pending>(std::move(deliver));
        if (options.cancel && options.cancel->get_token().is_canceled()) {
            request->Finish(Cancelled());
            return;
        }
        RawRequest raw;
        raw.method = method;
        std::string host;
        int port = 0;
        try {
            const web::uri base(options.baseUri);
            web::uri_builder whole(base);
            whole.append(web::uri(pathAndQuery));
            raw.target = whole.to_uri().resource().to_string();
            host = network->Resolve(base.host());
            port = base.port() > 0 ? base.port() : 80;
        } catch (const std::exception& e) {
            Outcome outcome;
            outcome.error = std::make_exception_ptr(
                std::runtime_error("HTTP " + method + " " + options.baseUri + pathAndQuery + " not sent: " + e.what()));
            request->Finish(std::move(outcome));
            return;
        }
        raw.body = body;
        std::optional<RawReply> faulty = fault ? fault(raw) : std::nullopt;
        const auto endpoint = network->Find(host, port);
        if (!endpoint || (faulty && faulty->refused)) {
            Outcome outcome;
            outcome.error = Broken("Failed to connect to " + host + ":" + std::to_string(port) + ": refused");
            request->Finish(std::move(outcome));
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            // Finished requests are gone from the list, so a long-lived client's list stays short.
            pending.erase(std::remove_if(pending.begin(), pending.end(),
                                         [](const std::weak_ptr<Pending>& weak) { return weak.expired(); }),
                          pending.end());
            pending.push_back(request);
        }
        if (options.cancel) {
            std::weak_ptr<Pending> weak = request;
            options.cancel->get_token().register_callback([weak, cancelled = Cancelled()] {
                if (auto underWay = weak.lock()) {
                    underWay->Finish(cancelled);
                }
            });
        }
        const auto limit = options.timeout.count() > 0
                               ? options.timeout
                               : std::chrono::milliseconds(InMemoryNetwork::kDefaultClientLimit);
        const std::string target = options.baseUri + pathAndQuery;
        // The limit runs from now on the virtual clock, whoever moves it
        // meanwhile: the peer's handler, the camera, or the watch on a
        // handler that blocks.
        const auto clock = network->clock;
        const auto start = clock->Now();
        const auto deadline = clock->At(start + limit, [weak = std::weak_ptr<Pending>(request), target] {
            if (auto underWay = weak.lock()) {
                underWay->Finish(Outcome{Broken("request to " + target + " timed out"), 0, {}, {}, {}});
            }
        });
        endpoint->executor.Post([endpoint, request, raw = std::move(raw), faulty = std::move(faulty), limit, target,
                                 clock, start, deadline, network = network, cancel = options.cancel](bool run) {
            if (!run) {
                clock->Cancel(deadline);
                request->Finish(Outcome{Broken("connection to " + target + " closed by the server"), 0, {}, {}, {}});
                return;
            }
            const RawReply reply = [&] {
                if (faulty) {
                    return *faulty;
                }
                const HandlerWatch::Scope watched(network->handlers, clock, deadline.first);
                return endpoint->answer(raw);
            }();
            const auto left = limit - std::chrono::duration_cast<std::chrono::milliseconds>(clock->Now() - start);
            clock->Cancel(deadline);
            Outcome outcome = endpoint->closed
                                  ? Outcome{Broken("connection to " + target + " closed by the server"), 0, {}, {}, {}}
                              : request->Finished() ? Outcome{}
                                                    : Deliver(reply, *clock, left, target);
            if (cancel && cancel->get_token().is_canceled()) {
                outcome = Outcome{std::make_exception_ptr(RequestCancelled("HTTP request to " + target + " cancelled")),
                                  0,
                                  {},
                                  {},
                                  {}};
            }
            request->Finish(std::move(outcome));
            if (reply.after) {
                reply.after();
            }
        });
    }

    std::shared_ptr<InMemoryNetwork::State> network;
    const HttpClientOptions options;
    const ReplyFault fault;
    std::atomic<std::size_t> maxReply{std::size_t{1024} * 1024};
    std::mutex mutex;
    std::vector<std::weak_ptr<Pending>> pending;
};

// The host of "http://host[:port]" or of a bare host.
std::string HostOf(const std::string& address) {
    std::string rest = address;
    const auto scheme = rest.find("://");
    if (scheme != std::string::npos) {
        rest = rest.substr(scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (rest.empty() || rest.front() == '[') {
        throw std::runtime_error("address '" + address + "' cannot be served");
    }
    return rest.substr(0, rest.find(':'));
}

class MemoryServer : public HttpServerIF {
public:
    MemoryServer(std::shared_ptr<InMemoryNetwork::State> network, const HttpServerOptions& options)
        : network(std::move(network)), options(options), inner(std::make_shared<Inner>(options.path)) {}
    ~MemoryServer() override { close(); }

    void setMessageHandler(MessageHandler handler, HandlerMethodType method) override {
        inner->routes.setHandler(std::move(handler), method);
    }

    void listen() override {
        std::lock_guard<std::mutex> lock(mutex);
        if (endpoint) {
            return;
        }
        if (options.port < 1 || options.port > 65535) {
            throw std::runtime_error("port " + std::to_string(options.port) + " is outside 1..65535");
        }
        host = network->Resolve(HostOf(options.address));
        auto opened = std::make_shared<Endpoint>();
        opened->answer = [inner = inner](const RawRequest& request) {
            RawReply reply;
            if (request.body.size() > inner->maxBodySize.load()) {
                reply.status = RequestEntityTooLarge;
                reply.body = inner->routes.ErrorBody(RequestEntityTooLarge, "request body too large");
            } else {
                auto [status, body] = inner->routes.Answer(request.method, request.target, request.body);
                reply.status = status;
                reply.body = std::move(body);
            }
            reply.contentType = LooksLikeJson(reply.body) ? "application/json" : "text/plain; charset=utf-8";
            return reply;
        };
        network->Register(host, options.port, opened);
        endpoint = std::move(opened);
    }

    void close() override {
        std::shared_ptr<Endpoint> closing;
        {
            std::lock_guard<std::mutex> lock(mutex);
            closing.swap(endpoint);
        }
        if (closing) {
            network->Unregister(host, options.port, closing);
            closing->closed = true;
            closing->executor.Stop();
        }
    }

    void setMaxBodySize(std::size_t bytes) override { inner->maxBodySize = bytes; }
    // Nothing arrives slowly here: the time limits have nothing to bound.
    void setLimits(const Limits&) override {}
    void setErrorBodyMaker(ErrorBodyMaker maker) override { inner->routes.setErrorBodyMaker(std::move(maker)); }

private:
    // What the endpoint's thread reads; it may outlive a server closed by
    // one of its own handlers.
    struct Inner {
        explicit Inner(const std::string& path) : routes(path) {}
        HttpRoutes routes;
        std::atomic<std::size_t> maxBodySize{std::size_t{1024} * 1024};
    };

    std::shared_ptr<InMemoryNetwork::State> network;
    const HttpServerOptions options;
    std::shared_ptr<Inner> inner;
    std::mutex mutex;
    std::string host;
    std::shared_ptr<Endpoint> endpoint;
};

}  // namespace

std::unique_ptr<HttpClientIF> MakeMemoryClient(const std::shared_ptr<InMemoryNetwork::State>& network,
                                               const HttpClientOptions& options, ReplyFault fault) {
    return std::make_unique<MemoryClient>(network, options, std::move(fault));
}

std::unique_ptr<HttpServerIF> MakeMemoryServer(const std::shared_ptr<InMemoryNetwork::State>& network,
                                               const HttpServerOptions& options) {
    return std::make_unique<MemoryServer>(network, options);
}

}  // namespace tvo::DockSim
