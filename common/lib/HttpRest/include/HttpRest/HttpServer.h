#pragma once
// A small inbound HTTP server: one handler per method, every request under
// one listening path, text bodies in and out.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace tvo {

class SecurityInterface;  // reserved for TLS credentials; callers pass null

class HttpServer {
public:
    struct SslConfig {
        bool useSsl = false;
        bool verifyClient = false;
    };

    enum class HandlerMethodType : int { Delete = 0, Post = 1, Put = 2, Get = 3, Patch = 4 };

    enum StatusCode : unsigned short {
        OK = 200,
        Created = 201,
        Accepted = 202,
        NoContent = 204,
        BadRequest = 400,
        Unauthorized = 401,
        Forbidden = 403,
        NotFound = 404,
        MethodNotAllowed = 405,
        NotAcceptable = 406,
        RequestTimeout = 408,
        Conflict = 409,
        RequestEntityTooLarge = 413,
        UnsupportedMediaType = 415,
        InternalError = 500,
        NotImplemented = 501,
        ServiceUnavailable = 503,
    };

    // uri: the request's URI relative to the listening path, as it arrived
    // (percent-encoding kept): the rest of the path without the leading '/',
    // then '?' and the query when there is one; "" (or "?query") for the
    // listening path itself. Examples for the listening path "api/":
    // "say_hello", "say_hello?api-version=1.1", "a/b/", "?type=x".
    // getUriPath and getUriQuery take it apart.
    using MessageHandler =
        std::function<std::pair<StatusCode, std::string>(const std::string& uri, const std::string& body)>;

    // address: "http://host" (a bare host means http); IPv4 addresses and
    // host names only. path: the listening path ("api/", "UsbRest/1.0").
    // Nothing is opened until listen().
    HttpServer(SecurityInterface* security, const SslConfig& ssl, const std::string& address, int port,
               const std::string& path);
    // Stops listening and waits for the handlers still running. Neither this
    // nor close() may be called from one of the server's own handlers.
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Routes every request of the method to the handler (replacing an earlier
    // one). Methods without a handler are answered 405. A handler that throws
    // is answered 500 and logged. Handlers run on the pool threads, possibly
    // several at once. A reply body starting with '{', '[' or '"' is sent as
    // application/json, any other as text/plain.
    void setMessageHandler(MessageHandler handler, HandlerMethodType method);

    // Starts serving. Throws std::runtime_error with the reason when it cannot
    // (address in use, address not on this machine, IPv6 literal, another
    // HttpServer of this process on the same address and port, TLS asked
    // for). Does nothing when already listening.
    void listen();
    // Stops serving; listen() may be called again afterwards.
    void close();

    // Bodies larger than this are answered 413 without calling the handler.
    // Default 1 MiB.
    void setMaxBodySize(std::size_t bytes);

    // The path part of a handler's uri without leading or trailing '/':
    // "/a/b/?x=1" gives "a/b".
    static std::string getUriPath(const std::string& uri);
    // The text after the first '?' (without a '#' fragment), or "".
    static std::string getUriQuery(const std::string& uri);

private:
    struct Impl;
    std::shared_ptr<Impl> impl;
};

}  // namespace tvo
