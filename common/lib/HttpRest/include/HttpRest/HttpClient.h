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
    // with Content-Type application/json. The task yields the response (any
    // status) with its body already read, or ends with an exception on a bad
    // address, connection failure, time-out, oversized reply or cancellation. A cancellation, and only
    // that, ends it with RequestCancelled.
    virtual pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                         const std::string& body) = 0;

    // GETs the base address into destinationPath, blocking. The body is
    // streamed into a temporary file beside the destination, which replaces
    // the destination only when the whole body arrived with status 200.
    // Returns false (and logs why) otherwise; the destination is then left as
    // it was.
    virtual bool download(const std::string& destinationPath) = 0;

    // Stops the requests under way, without waiting for them; their tasks end
    // with an exception. Requests sent afterwards run normally.
    virtual void cancel() = 0;

    // A reply body (of request or download) larger than this fails the call
    // and its connection is dropped; a download's partial file is removed.
    // Default 1 MiB.
    virtual void setMaxReplySize(std::size_t bytes) = 0;
};

// Everything a client is made from.
struct HttpClientOptions {
    // "http://host:port/path".
    std::string baseUri;
    // 0: the underlying client's own limit.
    std::chrono::milliseconds timeout{0};
    // Cancelling it stops every request of the client; may be null.
    std::shared_ptr<pplx::cancellation_token_source> cancel;
    // Connections go out by this interface when bindToInterface is set and
    // the name is not empty.
    std::string interfaceName;
    bool bindToInterface = false;
    std::string userAgent;  // sent when not empty
    bool verifyTls = true;
};

class PMX_HTTPREST_API HttpClient : public HttpClientIF {
public:
    // baseUri: "http://host:port/path"; the host is a name or an IPv4
    // address (cpprestsdk cannot resolve IPv6 literals). timeout 0 means the default limit of
    // the underlying client. cancel may be null; cancelling it stops every
    // request of this client, like cancel() does.
    HttpClient(SecurityInterface* security, std::string_view baseUri, std::chrono::milliseconds timeout,
               std::shared_ptr<pplx::cancellation_token_source> cancel);

    // As above; when bindToInterface is true and interfaceName is not empty,
    // every connection is bound to that network interface, so that a
    // link-local IPv6 address is reached over it. A non-empty userAgent is
    // sent as User-Agent. verifyTls checks the server certificate of https
    // addresses.
    HttpClient(const std::string& interfaceName, const bool& bindToInterface, std::string_view userAgent,
               SecurityInterface* security, std::string_view baseUri, std::chrono::milliseconds timeout,
               std::shared_ptr<pplx::cancellation_token_source> cancel, bool verifyTls);

    // The same, from one record.
    explicit HttpClient(const HttpClientOptions& options);

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
