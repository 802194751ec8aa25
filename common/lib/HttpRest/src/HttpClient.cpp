#include "HttpRest/HttpClient.h"

#include <stdexcept>
#include <utility>

#include <pplx/threadpool.h>

#include "HttpClientImpl.h"

#include "Common/FileCalls.h"
#include "HttpRest/HttpThreadPool.h"
#include "HttpRest/StreamedResponse.h"
#include "Logger/LogClient.h"

namespace tvo {
namespace {

// The default limit where the caller gives none.
constexpr std::chrono::milliseconds kDefaultLimit{30000};

// pplx ends the process when a failed task is dropped with its error never
// looked at; a caller that gives up on a request must not cause that. The
// caller still gets the error from its own copy.
void MarkObserved(const pplx::task<web::http::http_response>& task) {
    try {
        task.wait();
    } catch (...) {
    }
}

pplx::task<web::http::http_response> FailedTask(std::exception_ptr why) {
    pplx::task_completion_event<web::http::http_response> failed;
    failed.set_exception(std::move(why));
    auto task = pplx::create_task(failed);
    MarkObserved(task);
    return task;
}

// Hands the reply over as cpprestsdk's client would: the task completes with
// the status and headers, the body streams in behind.
class ResponseSink final : public ReplySink {
public:
    ResponseSink() : task(pplx::create_task(done)) {}

    pplx::task<web::http::http_response> Task() const { return task; }

    void Headers(const ReplyHead& head) override {
        response = std::make_unique<StreamedResponse>(static_cast<unsigned short>(head.status));
        response->SetReason(head.reason);
        response->SetVersion(static_cast<unsigned>(head.version / 10), static_cast<unsigned>(head.version % 10));
        for (const auto& [name, value] : head.fields) {
            response->AddHeader(name, value);
        }
        delivered.store(true, std::memory_order_release);
        done.set(response->Response());
    }

    void Body(std::string_view piece) override { response->Append(piece.data(), piece.size()); }

    void Complete() override { response->Finish(); }

    void Failed(std::exception_ptr why) override {
        if (done.set_exception(why)) {
            MarkObserved(task);
        }
        if (delivered.load(std::memory_order_acquire)) {
            response->Fail(why);
        }
    }

private:
    pplx::task_completion_event<web::http::http_response> done;
    pplx::task<web::http::http_response> task;
    std::unique_ptr<StreamedResponse> response;
    std::atomic<bool> delivered{false};
};

}  // namespace

// Out of line, so that the type's identity lives in this library alone and a
// catch in another library matches it.
RequestCancelled::~RequestCancelled() = default;

HttpClientIF::~HttpClientIF() = default;

std::unique_ptr<HttpClientIF> MakeHttpClient(const HttpClientOptions& options) {
    return std::make_unique<HttpClient>(options);
}

std::exception_ptr HttpClient::Impl::Cancelled() const {
    return std::make_exception_ptr(RequestCancelled("HTTP request to " + baseUri + " cancelled"));
}

void HttpClient::Impl::Start(const std::string& method, const std::string& pathAndQuery, const std::string& body,
                             std::unique_ptr<ReplySink> sink, std::size_t readChunk) {
    if (!target) {
        throw std::runtime_error(setupError);
    }
    ClientExchange::Settings settings;
    settings.target = *target;
    try {
        settings.request = target->RequestText(method, target->TargetFor(pathAndQuery), body, userAgent);
    } catch (const std::exception& e) {
        throw std::runtime_error("HTTP " + method + " " + baseUri + pathAndQuery + " not sent: " + e.what());
    }
    settings.description = method + " " + baseUri + pathAndQuery;
    settings.limit = limit;
    settings.interfaceName = interfaceName;
    settings.maxBody = maxReply.load();
    settings.readChunk = readChunk;
    auto exchange = std::make_shared<ClientExchange>(*io, std::move(settings), std::move(sink), connections);
    connections->Add(exchange, Cancelled());
    exchange->Start();
}

HttpClient::HttpClient(SecurityInterface* security, std::string_view baseUri, std::chrono::milliseconds timeout,
                       std::shared_ptr<pplx::cancellation_token_source> cancel)
    : HttpClient(std::string(), false, std::string_view(), security, baseUri, timeout, std::move(cancel), true) {}

HttpClient::HttpClient(const HttpClientOptions& options)
    : HttpClient(options.interfaceName, options.bindToInterface, options.userAgent, nullptr, options.baseUri,
                 options.timeout, options.cancel, options.verifyTls) {
    if (options.files) {
        impl->files = options.files;
    }
}

HttpClient::HttpClient(const std::string& interfaceName, const bool& bindToInterface, std::string_view userAgent,
                       SecurityInterface* /*security*/, std::string_view baseUri, std::chrono::milliseconds timeout,
                       std::shared_ptr<pplx::cancellation_token_source> cancel, bool /*verifyTls*/)
    : impl(std::make_unique<Impl>()) {
    EnsureHttpThreadPool();
    impl->io = &crossplat::threadpool::shared_instance().service();
    impl->baseUri = std::string(baseUri);
    impl->userAgent = std::string(userAgent);
    impl->files = FileCalls::System();
    impl->limit = timeout.count() > 0 ? timeout : kDefaultLimit;
    if (bindToInterface) {
        impl->interfaceName = interfaceName;
    }
    try {
        impl->target = ClientTarget::Parse(impl->baseUri);
    } catch (const std::exception& e) {
        impl->setupError = "unusable HTTP address '" + impl->baseUri + "': " + e.what();
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << impl->setupError;
    }
    impl->external = std::move(cancel);
    if (impl->external) {
        const pplx::cancellation_token token = impl->external->get_token();
        if (token.is_canceled()) {
            impl->connections->AbortAll(impl->Cancelled(), true);
        } else {
            // Weak: the source may outlive this client by far. The exception
            // is made when the call-back runs: one kept in the call-back would
            // be shared with the caller's task and freed on whichever thread
            // drops the source last, ordered only inside the C++ runtime.
            impl->registration = token.register_callback(
                [connections = std::weak_ptr<ClientConnections>(impl->connections), baseUri = impl->baseUri] {
                    if (const auto alive = connections.lock()) {
                        alive->AbortAll(
                            std::make_exception_ptr(RequestCancelled("HTTP request to " + baseUri + " cancelled")),
                            true);
                    }
                });
        }
    }
}

HttpClient::~HttpClient() {
    if (impl->registration) {
        impl->external->get_token().deregister_callback(*impl->registration);
    }
    // Nothing of this client stays open behind it.
    impl->connections->AbortAll(impl->Cancelled(), true);
    impl->connections->Close();
}

pplx::task<web::http::http_response> HttpClient::request(const std::string& method, const std::string& pathAndQuery,
                                                         const std::string& body) {
    try {
        auto sink = std::make_unique<ResponseSink>();
        auto task = sink->Task();
        impl->Start(method, pathAndQuery, body, std::move(sink), std::size_t{32} * 1024);
        return task;
    } catch (...) {
        return FailedTask(std::current_exception());
    }
}

void HttpClient::cancel() {
    impl->connections->AbortAll(impl->Cancelled(), false);
}

void HttpClient::setMaxReplySize(std::size_t bytes) {
    impl->maxReply = bytes;
}

}  // namespace tvo
