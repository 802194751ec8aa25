#include "ClientTarget.h"

#include <stdexcept>

#include <cpprest/base_uri.h>
#include <cpprest/uri_builder.h>

namespace tvo {
namespace {

// A method is a token; a target has no blank and no line break.
bool IsToken(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (const unsigned char c : text) {
        if (c <= ' ' || c >= 0x7f ||
            std::string_view("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool FitsOnRequestLine(const std::string& text) {
    for (const unsigned char c : text) {
        if (c <= ' ' || c == 0x7f) {
            return false;
        }
    }
    return true;
}

}  // namespace

ClientTarget ClientTarget::Parse(const std::string& baseUri) {
    const web::uri uri(baseUri);  // throws web::uri_exception
    if (uri.scheme() != "http") {
        throw std::runtime_error(uri.scheme().empty() ? std::string("no scheme")
                                                      : "scheme '" + uri.scheme() + "' is not served (http only)");
    }
    ClientTarget target;
    target.baseUri = baseUri;
    target.hostHeader = uri.host();
    target.host = uri.host();
    if (target.host.size() > 2 && target.host.front() == '[' && target.host.back() == ']') {
        target.host = target.host.substr(1, target.host.size() - 2);
    }
    if (target.host.empty()) {
        throw std::runtime_error("no host");
    }
    const int port = uri.port() > 0 ? uri.port() : 80;
    if (port > 65535) {
        throw std::runtime_error("port " + std::to_string(port) + " is outside 1..65535");
    }
    target.port = std::to_string(port);
    if (port != 80) {
        target.hostHeader += ":" + target.port;
    }
    boost::system::error_code notLiteral;
    const auto address = boost::asio::ip::make_address(target.host, notLiteral);
    if (!notLiteral) {
        target.literal = address;
    }
    return target;
}

std::string ClientTarget::TargetFor(const std::string& pathAndQuery) const {
    web::uri_builder whole{web::uri(baseUri)};
    whole.append(web::uri(pathAndQuery));
    std::string resource = whole.to_uri().resource().to_string();
    if (resource.empty() || resource.front() != '/') {
        resource.insert(0, "/");
    }
    if (!FitsOnRequestLine(resource)) {
        throw std::runtime_error("target '" + resource + "' cannot go on a request line");
    }
    return resource;
}

std::string ClientTarget::RequestText(const std::string& method, const std::string& target, const std::string& body,
                                      const std::string& userAgent) const {
    if (!IsToken(method)) {
        throw std::runtime_error("'" + method + "' is not a method");
    }
    if (userAgent.find_first_of("\r\n") != std::string::npos) {
        throw std::runtime_error("the user agent holds a line break");
    }
    std::string text;
    text.reserve(128 + body.size());
    text.append(method).append(" ").append(target).append(" HTTP/1.1\r\nHost: ").append(hostHeader).append("\r\n");
    if (!userAgent.empty()) {
        text.append("User-Agent: ").append(userAgent).append("\r\n");
    }
    if (!body.empty()) {
        text.append("Content-Type: application/json\r\n");
    }
    if (!body.empty() || (method != "GET" && method != "HEAD")) {
        text.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
    }
    text.append("\r\n").append(body);
    return text;
}

}  // namespace tvo
