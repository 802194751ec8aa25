#pragma once
// A small inbound HTTP server: one handler per method, every request under
// one listening path, text bodies in and out. Built for a peer that may be
// hostile: bodies, headers, time and connections are all bounded while
// reading, and each server serves on a thread of its own.

#include <HttpRest/Export.h>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace tvo {

class SecurityInterface;  // reserved for TLS credentials; callers pass null

// What the protocols need of an inbound server; HttpServer is the real one,
// and a test network can stand in for it.
class PMX_HTTPREST_API HttpServerIF {
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
        RequestHeaderFieldsTooLarge = 431,
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

    // Makes the body of a reply that the server makes itself (400, 404, 405,
    // 413, 431, 500), from its status and a short reason. By default the
    // reason itself, as text/plain.
    using ErrorBodyMaker = std::function<std::string(StatusCode status, const std::string& reason)>;

    // What a connection may take. A request whose headers have not arrived
    // within headerTimeout of their first byte (or of the connection), or
    // whose body has not within bodyTimeout after its headers, is closed; so
    // is a keep-alive connection idle for idleTimeout, and a reply not taken
    // by the peer within bodyTimeout. Connections past maxConnections are
    // closed as they are accepted.
    struct Limits {
        std::chrono::milliseconds headerTimeout{10000};
        std::chrono::milliseconds bodyTimeout{30000};
        std::chrono::milliseconds idleTimeout{30000};
        std::size_t maxConnections = 64;
        std::size_t maxHeaderBytes = std::size_t{16} * 1024;  // more is answered 431
    };

    virtual ~HttpServerIF();

    // Routes every request of the method to the handler (replacing an earlier
    // one). Methods without a handler are answered 405. A handler that throws
    // is answered 500 and logged. Handlers run one at a time on the server's
    // own thread, never on cpprestsdk's pool; requests wait meanwhile, in
    // order per connection (pipelining included). A reply body starting with '{', '[' or '"' is sent as
    // application/json, any other as text/plain.
    virtual void setMessageHandler(MessageHandler handler, HandlerMethodType method) = 0;

    // Starts serving. Throws std::runtime_error with the reason when it cannot
    // (address in use, address not on this machine, IPv6 literal, another
    // server of this process on the same address and port, TLS asked
    // for). Does nothing when already listening.
    virtual void listen() = 0;
    // Stops serving and closes every connection; listen() may be called
    // again afterwards. From one of the server's own handlers as for the
    // destructor.
    virtual void close() = 0;

    // Bodies larger than this are answered 413 without calling the handler,
    // as soon as the declared length or the chunks received pass it; the
    // rest is not kept. Default 1 MiB.
    virtual void setMaxBodySize(std::size_t bytes) = 0;
    // Take effect for connections accepted afterwards.
    virtual void setLimits(const Limits& limits) = 0;
    virtual void setErrorBodyMaker(ErrorBodyMaker maker) = 0;
};

// Everything a server is made from.
struct HttpServerOptions {
    std::string address;  // "http://host", or a bare host
    int port = 0;
    std::string path;  // the listening path ("api/", "UsbRest/1.0")
};

// Where a request goes once it has arrived: the listening path, a handler per
// method and the bodies of the server's own error replies. Shared by every
// transport, so that all of them route alike. Thread-safe.
class PMX_HTTPREST_API HttpRoutes {
public:
    using StatusCode = HttpServerIF::StatusCode;
    using Reply = std::pair<StatusCode, std::string>;

    explicit HttpRoutes(const std::string& path);
    ~HttpRoutes();
    HttpRoutes(const HttpRoutes&) = delete;
    HttpRoutes& operator=(const HttpRoutes&) = delete;

    void setHandler(HttpServerIF::MessageHandler handler, HttpServerIF::HandlerMethodType method);
    void setErrorBodyMaker(HttpServerIF::ErrorBodyMaker maker);

    // The target relative to the listening path, without the leading '/';
    // false when the target lies outside it.
    bool RelativeUri(const std::string& target, std::string& relative) const;
    // The body of a reply the server makes itself.
    std::string ErrorBody(StatusCode status, const std::string& reason) const;
    // Answers one whole request ("GET", "PUT", ...; target as it arrived):
    // 404 outside the path, 405 without a handler, 500 when the handler
    // throws (logged), else the handler's reply.
    Reply Answer(const std::string& method, const std::string& target, const std::string& body) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Whether a reply body goes out as application/json (else text/plain).
PMX_HTTPREST_API bool LooksLikeJson(const std::string& body);

class PMX_HTTPREST_API HttpServer : public HttpServerIF {
public:
    // address: "http://host" (a bare host means http); IPv4 addresses and
    // host names only. path: the listening path ("api/", "UsbRest/1.0").
    // Nothing is opened until listen().
    HttpServer(SecurityInterface* security, const SslConfig& ssl, const std::string& address, int port,
               const std::string& path);
    // Stops listening and waits for a handler still running on the server's
    // thread. Called from one of the server's own handlers (directly or by
    // destroying its owner), it returns at once instead: the handler's reply
    // is dropped and the thread ends when the handler returns.
    ~HttpServer() override;
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void setMessageHandler(MessageHandler handler, HandlerMethodType method) override;
    // Also refused: another HttpServer of this process on the same address
    // and port, and TLS.
    void listen() override;
    void close() override;
    void setMaxBodySize(std::size_t bytes) override;
    void setLimits(const Limits& limits) override;
    void setErrorBodyMaker(ErrorBodyMaker maker) override;

    // The path part of a handler's uri without leading or trailing '/':
    // "/a/b/?x=1" gives "a/b".
    static std::string getUriPath(const std::string& uri);
    // The text after the first '?' (without a '#' fragment), or "".
    static std::string getUriQuery(const std::string& uri);

private:
    friend class ServerLoop;     // the listening side of Impl
    friend class ServerSession;  // one connection of it
    struct Impl;
    std::shared_ptr<Impl> impl;
};

// The real server, as the protocol environment makes it by default.
PMX_HTTPREST_API std::unique_ptr<HttpServerIF> MakeHttpServer(const HttpServerOptions& options);

}  // namespace tvo
