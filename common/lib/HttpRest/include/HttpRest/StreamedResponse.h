#pragma once
// A response as the HTTP client hands it over: status and headers at once,
// the body streaming in behind. Its http_response behaves as cpprestsdk's own
// client's does: content_ready() completes when the whole body is in, the
// extract calls wait for it and read the body by its Content-Type (none reads
// as empty text), and a body that broke off makes them fail with its reason.

#include <HttpRest/Export.h>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>

#include <cpprest/http_msg.h>

namespace tvo {

class PMX_HTTPREST_API StreamedResponse {
public:
    explicit StreamedResponse(unsigned short status);
    ~StreamedResponse();
    StreamedResponse(const StreamedResponse&) = delete;
    StreamedResponse& operator=(const StreamedResponse&) = delete;

    // Before the response is handed over.
    void SetReason(const std::string& reason);
    void SetVersion(unsigned major, unsigned minor);
    // A field as it arrived; a repeated name is joined with ", ".
    void AddHeader(const std::string& name, const std::string& value);

    // The response; every copy shares the body.
    web::http::http_response Response() const;

    // From one thread at a time. Bytes appended after the end are dropped.
    void Append(const char* data, std::size_t size);
    // Ends the body; the first of Finish and Fail counts, from any thread.
    void Finish();
    void Fail(std::exception_ptr why);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace tvo
