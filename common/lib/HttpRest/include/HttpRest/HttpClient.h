#pragma once
// Outbound HTTP requests to one base address, with a time limit and
// cancellation, plus a streaming download of that address into a file.

#include <HttpRest/Export.h>
#include <chrono>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <cpprest/http_msg.h>
#include <pplx/pplxtasks.h>

namespace tvo {

class SecurityInterface;  // reserved for TLS credentials; callers pass null
struct FileCalls;

// How a request stopped by cancellation fails, so that callers can stop
// retrying without reading messages. what() says "cancelled" all the same,
// for the logs and for callers that only see a std::runtime_error.
class PMX_HTTPREST_API RequestCancelled : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~RequestCancelled() override;
};

// What the protocols need of an outbound client; HttpClient is the real one,
// and a test network can stand in for it.
class PMX_HTTPREST_API HttpClientIF {
public:
    virtual ~HttpClientIF();

    // Sends the request ("GET", "PUT", ...) to the base address extended by
    // pathAndQuery ("/a/b?x=1" or "?type=x"). A non-empty body is sent as is,
    // with Content-Type application/json. The task completes as soon as the
    // status line and headers have arrived, with the response as cpprestsdk's
    // own client gives it: the body streams in behind, content_ready()
    // completes when it is in, and the extract calls wait for it and read it
    // by its Content-Type as cpprestsdk does. A body past the reply limit, or
    // one that breaks off or stalls, makes them fail; the task stays
    // completed. The task itself ends with an exception on a bad address,
    // connection failure, time-out or cancellation; a cancellation, and only
    // that, with RequestCancelled.
    virtual pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                         const std::string& body) = 0;

    // GETs the base address into destinationPath, blocking. The body is
    // streamed into a temporary file beside the destination, which replaces
    // the destination only when the whole body arrived with status 200.
    // Returns false (and logs why) otherwise; the destination is then left as
    // it was.
    virtual bool download(const std::string& destinationPath) = 0;

    // Stops the requests under way, without waiting for them, from any
    // thread: their sockets close at once, a task still waiting for its
    // headers ends with RequestCancelled, and a body still arriving fails
    // with it. Requests sent afterwards run normally.
    virtual void cancel() = 0;

    // A reply body larger than this is not read further and its connection is
    // dropped: the response's body fails (request) or the call does (download,
    // whose partial file is removed). Default 1 MiB.
    virtual void setMaxReplySize(std::size_t bytes) = 0;
};

// Everything a client is made from.
struct HttpClientOptions {
    // "http://host:port/path".
    std::string baseUri;
    // Covers resolving, connecting, sending and the reply's headers, and then
    // each silence within the body. 0: 30 seconds.
    std::chrono::milliseconds timeout{0};
    // Cancelling it stops every request of the client; may be null.
    std::shared_ptr<pplx::cancellation_token_source> cancel;
    // Connections go out by this interface when bindToInterface is set and
    // the name is not empty.
    std::string interfaceName;
    bool bindToInterface = false;
    std::string userAgent;  // sent when not empty
    bool verifyTls = true;
    // The calls download() makes its file with; none: the system's.
    std::shared_ptr<const FileCalls> files;
};

// On Boost.Beast over the io_context of cpprestsdk's pool: its I/O and the
// tasks' continuations run on the pool's threads, and it starts none of its
// own. Consecutive requests reuse one kept-alive connection.
class PMX_HTTPREST_API HttpClient : public HttpClientIF {
public:
    // baseUri: "http://host:port/path"; the host is a name, looked up on a
    // pool thread, or an IPv4 or [IPv6] literal, used as it is. Only http is
    // served. timeout: see HttpClientOptions. cancel may be null; cancelling
    // it stops every request of this client, under way or later, as cancel()
    // stops those under way.
    HttpClient(SecurityInterface* security, std::string_view baseUri, std::chrono::milliseconds timeout,
               std::shared_ptr<pplx::cancellation_token_source> cancel);

    // As above; when bindToInterface is true and interfaceName is not empty,
    // every connection attempt, to every address the host has, is bound to
    // that network interface before it connects, so that nothing leaves by
    // another and a link-local IPv6 address is reached over it. A non-empty
    // userAgent is sent as User-Agent. verifyTls is kept for the callers: no
    // TLS is spoken.
    HttpClient(const std::string& interfaceName, const bool& bindToInterface, std::string_view userAgent,
               SecurityInterface* security, std::string_view baseUri, std::chrono::milliseconds timeout,
               std::shared_ptr<pplx::cancellation_token_source> cancel, bool verifyTls);

    // The same, from one record.
    explicit HttpClient(const HttpClientOptions& options);

    // Stops the requests still under way, as cancel() does.
    ~HttpClient() override;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                 const std::string& body) override;
    bool download(const std::string& destinationPath) override;
    void cancel() override;
    void setMaxReplySize(std::size_t bytes) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// The real client, as the protocol environment makes it by default.
PMX_HTTPREST_API std::unique_ptr<HttpClientIF> MakeHttpClient(const HttpClientOptions& options);

}  // namespace tvo
