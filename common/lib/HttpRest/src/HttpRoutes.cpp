#include <array>
#include <exception>
#include <mutex>
#include <utility>

#include "HttpRest/HttpServer.h"
#include "Logger/LogClient.h"

namespace tvo {
namespace {

constexpr std::array<const char*, 5> kMethodNames{"DELETE", "POST", "PUT", "GET", "PATCH"};

int MethodIndex(const std::string& method) {
    for (std::size_t index = 0; index < kMethodNames.size(); ++index) {
        if (method == kMethodNames[index]) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

}  // namespace

struct HttpRoutes::Impl {
    std::string prefix;  // "/" + path without trailing '/': what targets start with
    mutable std::mutex mutex;
    std::array<HttpServerIF::MessageHandler, kMethodNames.size()> handlers;  // guarded by mutex
    HttpServerIF::ErrorBodyMaker errorBody;                                  // guarded by mutex
};

bool LooksLikeJson(const std::string& body) {
    const auto first = body.find_first_not_of(" \t\r\n");
    return first != std::string::npos && (body[first] == '{' || body[first] == '[' || body[first] == '"');
}

HttpRoutes::HttpRoutes(const std::string& path) : impl(std::make_unique<Impl>()) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    while (!trimmed.empty() && trimmed.front() == '/') {
        trimmed.erase(0, 1);
    }
    impl->prefix = "/" + trimmed;
}

HttpRoutes::~HttpRoutes() = default;

void HttpRoutes::setHandler(HttpServerIF::MessageHandler handler, HttpServerIF::HandlerMethodType method) {
    const auto index = static_cast<std::size_t>(method);
    if (index >= kMethodNames.size()) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Handler for unknown method value " << static_cast<int>(method) << " ignored";
        return;
    }
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->handlers[index] = std::move(handler);
}

void HttpRoutes::setErrorBodyMaker(HttpServerIF::ErrorBodyMaker maker) {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->errorBody = std::move(maker);
}

bool HttpRoutes::RelativeUri(const std::string& target, std::string& relative) const {
    const std::string& prefix = impl->prefix;
    std::string local = target;
    // An absolute-form target ("http://host/api/x") names the same resource.
    const auto scheme = local.find("://");
    if (scheme != std::string::npos && scheme < local.find_first_of("/?")) {
        const auto pathStart = local.find_first_of("/?", scheme + 3);
        local = pathStart == std::string::npos ? "/" : local.substr(pathStart);
    }
    if (local.empty() || local.front() == '?') {
        local.insert(0, "/");
    }
    if (local.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    std::string rest = local.substr(prefix.size());
    if (!rest.empty() && rest.front() != '/' && rest.front() != '?' && prefix != "/") {
        return false;  // "/apixyz" is not under "/api"
    }
    if (!rest.empty() && rest.front() == '/') {
        rest.erase(0, 1);
    }
    relative = std::move(rest);
    return true;
}

std::string HttpRoutes::ErrorBody(StatusCode status, const std::string& reason) const {
    HttpServerIF::ErrorBodyMaker maker;
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        maker = impl->errorBody;
    }
    if (maker) {
        try {
            return maker(status, reason);
        } catch (const std::exception& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Error body not made: " << e.what();
        }
    }
    return reason;
}

HttpRoutes::Reply HttpRoutes::Answer(const std::string& method, const std::string& target,
                                     const std::string& body) const {
    std::string uri;
    if (!RelativeUri(target, uri)) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "No resource at " << target;
        return {HttpServerIF::NotFound, ErrorBody(HttpServerIF::NotFound, "not found")};
    }
    const int index = MethodIndex(method);
    HttpServerIF::MessageHandler handler;
    if (index >= 0) {
        std::lock_guard<std::mutex> lock(impl->mutex);
        handler = impl->handlers[static_cast<std::size_t>(index)];
    }
    if (!handler) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "No handler for method " << method;
        return {HttpServerIF::MethodNotAllowed, ErrorBody(HttpServerIF::MethodNotAllowed, "method not allowed")};
    }
    try {
        return handler(uri, body);
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Handler for " << method << " " << uri << " failed: " << e.what();
    } catch (...) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Handler for " << method << " " << uri << " failed with a non-standard exception";
    }
    return {HttpServerIF::InternalError, ErrorBody(HttpServerIF::InternalError, "internal error")};
}

}  // namespace tvo
