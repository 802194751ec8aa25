// How one request travels: method routing, body limit, handler call, reply.
// Every path ends in exactly one reply, and no task is left unobserved
// (cpprestsdk ends the process for an unobserved task failure).

#include <exception>
#include <utility>

#include "HttpServerImpl.h"
#include "Logger/LogClient.h"
#include "MessageBody.h"

namespace tvo {
namespace {

constexpr const char* kSource = "common/lib/HttpRest/src/RequestDispatch.cpp";

using web::http::http_request;
using web::http::http_response;

bool LooksLikeJson(const std::string& body) {
    const auto first = body.find_first_not_of(" \t\r\n");
    return first != std::string::npos && (body[first] == '{' || body[first] == '[' || body[first] == '"');
}

void Reply(http_request& request, web::http::status_code status, const std::string& body) {
    try {
        http_response response(status);
        SetTextBody(response, body, LooksLikeJson(body) ? "application/json" : "text/plain; charset=utf-8");
        request.reply(response).then([](pplx::task<void> sent) {
            try {
                sent.get();
            } catch (const std::exception& e) {
                PMX_LOG(kSource, LogLevel::Detail, kLogCategoryRest) << "Reply not delivered: " << e.what();
            }
        });
    } catch (const std::exception& e) {
        PMX_LOG(kSource, LogLevel::Warning, kLogCategoryRest) << "Cannot reply: " << e.what();
    }
}

// The request URI relative to the listening path, without a leading '/'
// (cpprestsdk keeps one when the listening path is empty). cpprestsdk throws
// for the listening path itself (nothing after it): an empty path.
std::string RelativeUri(const http_request& request) {
    try {
        std::string relative = request.relative_uri().to_string();
        return relative.rfind('/', 0) == 0 ? relative.substr(1) : relative;
    } catch (const std::exception&) {
        const std::string query = request.request_uri().query();
        return query.empty() ? std::string() : "?" + query;
    }
}

int MethodIndex(const web::http::method& method) {
    using web::http::methods;
    if (method == methods::DEL) return static_cast<int>(HttpServer::HandlerMethodType::Delete);
    if (method == methods::POST) return static_cast<int>(HttpServer::HandlerMethodType::Post);
    if (method == methods::PUT) return static_cast<int>(HttpServer::HandlerMethodType::Put);
    if (method == methods::GET) return static_cast<int>(HttpServer::HandlerMethodType::Get);
    if (method == methods::PATCH) return static_cast<int>(HttpServer::HandlerMethodType::Patch);
    return -1;
}

}  // namespace

// Counts a request as in flight for as long as it lives; the last copy ends it.
struct HttpServer::Impl::FlightTicket {
    explicit FlightTicket(std::shared_ptr<Impl> server) : server(std::move(server)) {
        std::lock_guard<std::mutex> lock(this->server->flightMutex);
        ++this->server->inFlight;
    }
    ~FlightTicket() {
        std::lock_guard<std::mutex> lock(server->flightMutex);
        --server->inFlight;
        server->flightDone.notify_all();
    }
    FlightTicket(const FlightTicket&) = delete;
    FlightTicket& operator=(const FlightTicket&) = delete;

    std::shared_ptr<Impl> server;
};

HttpServer::MessageHandler HttpServer::Impl::HandlerFor(const web::http::method& method) {
    const int index = MethodIndex(method);
    if (index < 0) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(handlerMutex);
    return handlers[static_cast<std::size_t>(index)];
}

void HttpServer::Impl::Dispatch(http_request request) {
    auto ticket = std::make_shared<FlightTicket>(shared_from_this());
    MessageHandler handler = HandlerFor(request.method());
    if (!handler) {
        PMX_LOG(kSource, LogLevel::Detail, kLogCategoryRest) << "No handler for method " << request.method();
        Reply(request, web::http::status_codes::MethodNotAllowed, "method not allowed");
        return;
    }
    const std::size_t limit = maxBodySize.load();
    if (request.headers().content_length() > limit) {
        PMX_LOG(kSource, LogLevel::Warning, kLogCategoryRest)
            << "Request body of " << request.headers().content_length() << " bytes refused, limit " << limit;
        Reply(request, web::http::status_codes::RequestEntityTooLarge, "request body too large");
        return;
    }
    const std::string uri = RelativeUri(request);
    // The content type is not checked: clients send JSON as text/plain too.
    request.extract_utf8string(true).then([request, handler, uri, limit, ticket](pplx::task<std::string> read) mutable {
        try {
            std::string body;
            try {
                body = read.get();
            } catch (const std::exception& e) {
                PMX_LOG(kSource, LogLevel::Warning, kLogCategoryRest) << "Cannot read request body: " << e.what();
                Reply(request, web::http::status_codes::BadRequest, "cannot read request body");
                return;
            }
            if (body.size() > limit) {
                PMX_LOG(kSource, LogLevel::Warning, kLogCategoryRest)
                    << "Request body of " << body.size() << " bytes refused, limit " << limit;
                Reply(request, web::http::status_codes::RequestEntityTooLarge, "request body too large");
                return;
            }
            std::pair<StatusCode, std::string> result;
            try {
                result = handler(uri, body);
            } catch (const std::exception& e) {
                PMX_LOG(kSource, LogLevel::Error, kLogCategoryRest)
                    << "Handler for " << request.method() << " " << uri << " failed: " << e.what();
                Reply(request, web::http::status_codes::InternalError, "internal error");
                return;
            } catch (...) {
                PMX_LOG(kSource, LogLevel::Error, kLogCategoryRest)
                    << "Handler for " << request.method() << " " << uri << " failed with a non-standard exception";
                Reply(request, web::http::status_codes::InternalError, "internal error");
                return;
            }
            Reply(request, result.first, result.second);
        } catch (...) {
            // Reply and logging do not throw; this only keeps the task clean.
        }
    });
}

}  // namespace tvo
