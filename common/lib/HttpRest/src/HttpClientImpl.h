#pragma once
// State shared by the HttpClient sources.

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include <cpprest/http_client.h>

#include "HttpRest/HttpClient.h"

namespace tvo {

struct HttpClient::Impl {
    std::string baseUri;
    std::string userAgent;
    // Null when the base address could not be used; setupError says why.
    std::unique_ptr<web::http::client::http_client> client;
    std::string setupError;

    std::atomic<std::size_t> maxReply{std::size_t{1024} * 1024};

    std::shared_ptr<pplx::cancellation_token_source> external;
    std::mutex mutex;
    // Cancelled and replaced by cancel(); linked to the external source.
    pplx::cancellation_token_source current;

    pplx::cancellation_token Token();
    // A source for one request: cancelled with the client's token, or on its
    // own when the reply runs over; Release ends the link.
    struct RequestCancel {
        pplx::cancellation_token outer = pplx::cancellation_token::none();
        pplx::cancellation_token_source own;
        pplx::cancellation_token_registration link;
        void Release() const { outer.deregister_callback(link); }
    };
    RequestCancel NewRequestCancel();
    void CancelCurrent();
    // A request to the base address extended by pathAndQuery, with the
    // client's common headers.
    web::http::http_request MakeRequest(const std::string& method, const std::string& pathAndQuery) const;
};

// Ends a cancelled request with RequestCancelled, whatever cpprestsdk threw,
// and keeps "cancel" out of the message of any other failure.
pplx::task<web::http::http_response> ExplainFailures(pplx::task<web::http::http_response> task,
                                                     pplx::cancellation_token token, std::string target);

}  // namespace tvo
