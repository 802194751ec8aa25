#include "HttpRest/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <stdexcept>
#include <utility>

#include "BoundedReply.h"
#include "HttpClientImpl.h"
#include "HttpRest/HttpThreadPool.h"
#include "InterfaceBinding.h"
#include "Logger/LogClient.h"
#include "HttpRest/MessageBody.h"

namespace tvo {
namespace {

bool MentionsCancel(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text.find("cancel") != std::string::npos;
}

// pplx ends the process when a failed task is dropped unobserved; a caller
// that gives up on a request (a handle destroyed early) must not cause that.
// The extra continuation observes the failure (the caller still sees it) and
// then unlinks the request's own cancellation.
pplx::task<web::http::http_response> Observed(pplx::task<web::http::http_response> task,
                                              std::function<void()> finally = nullptr) {
    task.then([finally](pplx::task<web::http::http_response> done) {
        if (finally) {
            finally();
        }
        try {
            done.get();
        } catch (...) {
        }
    });
    return task;
}

}  // namespace

// Out of line, so that the type's identity lives in this library alone and a
// catch in another library matches it.
RequestCancelled::~RequestCancelled() = default;

HttpClientIF::~HttpClientIF() = default;

std::unique_ptr<HttpClientIF> MakeHttpClient(const HttpClientOptions& options) {
    return std::make_unique<HttpClient>(options);
}

pplx::cancellation_token HttpClient::Impl::Token() {
    std::lock_guard<std::mutex> lock(mutex);
    return current.get_token();
}

HttpClient::Impl::RequestCancel HttpClient::Impl::NewRequestCancel() {
    RequestCancel cancel;
    cancel.outer = Token();
    pplx::cancellation_token_source own = cancel.own;
    cancel.link = cancel.outer.register_callback([own] { own.cancel(); });
    return cancel;
}

void HttpClient::Impl::CancelCurrent() {
    pplx::cancellation_token_source cancelled;
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = current;
        if (external) {
            auto token = external->get_token();
            current = pplx::cancellation_token_source::create_linked_source(token);
        } else {
            current = pplx::cancellation_token_source();
        }
    }
    // Outside the lock: cancelling runs the requests' call-backs right here.
    cancelled.cancel();
}

web::http::http_request HttpClient::Impl::MakeRequest(const std::string& method,
                                                      const std::string& pathAndQuery) const {
    web::http::http_request request(method);
    request.set_request_uri(web::uri(pathAndQuery));
    if (!userAgent.empty()) {
        request.headers().add(web::http::header_names::user_agent, userAgent);
    }
    return request;
}

pplx::task<web::http::http_response> ExplainFailures(pplx::task<web::http::http_response> task,
                                                     pplx::cancellation_token token, std::string target) {
    // A task-based continuation without the token: it runs (and observes the
    // error) also when the request was cancelled.
    return task.then([token, target](pplx::task<web::http::http_response> done) {
        try {
            return done.get();
        } catch (const pplx::task_canceled&) {
            throw RequestCancelled("HTTP request to " + target + " cancelled");
        } catch (const std::exception& e) {
            if (token.is_canceled()) {
                throw RequestCancelled("HTTP request to " + target + " cancelled: " + e.what());
            }
            if (MentionsCancel(e.what())) {
                // Only a real cancellation may say so in the logs, whatever text
                // cpprestsdk picked for an aborted operation.
                throw std::runtime_error("HTTP request to " + target + " timed out or was aborted");
            }
            throw;
        }
    });
}

HttpClient::HttpClient(SecurityInterface* security, std::string_view baseUri, std::chrono::milliseconds timeout,
                       std::shared_ptr<pplx::cancellation_token_source> cancel)
    : HttpClient(std::string(), false, std::string_view(), security, baseUri, timeout, std::move(cancel), true) {}

HttpClient::HttpClient(const HttpClientOptions& options)
    : HttpClient(options.interfaceName, options.bindToInterface, options.userAgent, nullptr, options.baseUri,
                 options.timeout, options.cancel, options.verifyTls) {}

HttpClient::HttpClient(const std::string& interfaceName, const bool& bindToInterface, std::string_view userAgent,
                       SecurityInterface* /*security*/, std::string_view baseUri, std::chrono::milliseconds timeout,
                       std::shared_ptr<pplx::cancellation_token_source> cancel, bool verifyTls)
    : impl(std::make_unique<Impl>()) {
    EnsureHttpThreadPool();
    impl->baseUri = std::string(baseUri);
    impl->userAgent = std::string(userAgent);
    impl->external = std::move(cancel);
    if (impl->external) {
        auto token = impl->external->get_token();
        impl->current = pplx::cancellation_token_source::create_linked_source(token);
    }
    try {
        const web::uri target(impl->baseUri);
        web::http::client::http_client_config config;
        if (timeout.count() > 0) {
            config.set_timeout(timeout);
        }
        config.set_validate_certificates(verifyTls);
        if (bindToInterface) {
            config.set_nativehandle_options(MakeInterfaceBinder(interfaceName, target));
        }
        impl->client = std::make_unique<web::http::client::http_client>(target, config);
    } catch (const std::exception& e) {
        impl->setupError = "unusable HTTP address '" + impl->baseUri + "': " + e.what();
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << impl->setupError;
    }
}

HttpClient::~HttpClient() = default;

pplx::task<web::http::http_response> HttpClient::request(const std::string& method, const std::string& pathAndQuery,
                                                         const std::string& body) {
    if (!impl->client) {
        return Observed(pplx::task_from_exception<web::http::http_response>(std::runtime_error(impl->setupError)));
    }
    try {
        web::http::http_request message = impl->MakeRequest(method, pathAndQuery);
        if (!body.empty()) {
            SetTextBody(message, body, "application/json");
        }
        const std::string target = impl->baseUri + pathAndQuery;
        const Impl::RequestCancel cancel = impl->NewRequestCancel();
        auto reply = ReadBounded(impl->client->request(message, cancel.own.get_token()), impl->maxReply.load(),
                                 cancel.own, target);
        return Observed(ExplainFailures(reply, cancel.outer, target), [cancel] { cancel.Release(); });
    } catch (const std::exception& e) {
        return Observed(pplx::task_from_exception<web::http::http_response>(
            std::runtime_error("HTTP " + method + " " + impl->baseUri + pathAndQuery + " not sent: " + e.what())));
    }
}

void HttpClient::cancel() {
    impl->CancelCurrent();
}

void HttpClient::setMaxReplySize(std::size_t bytes) {
    impl->maxReply = bytes;
}

}  // namespace tvo
