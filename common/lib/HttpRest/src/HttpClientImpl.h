#pragma once
// State shared by the HttpClient sources.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>

#include "ClientConnections.h"
#include "ClientExchange.h"
#include "ClientTarget.h"
#include "HttpRest/HttpClient.h"

namespace tvo {

struct HttpClient::Impl {
    std::string baseUri;
    // Empty when the base address cannot be used; setupError says why.
    std::optional<ClientTarget> target;
    std::string setupError;

    std::string interfaceName;  // bound to when not empty
    std::string userAgent;
    std::chrono::milliseconds limit{30000};
    std::shared_ptr<const FileCalls> files;  // download's; never null
    std::atomic<std::size_t> maxReply{std::size_t{1024} * 1024};

    // The pool's io_context: the client adds no thread of its own.
    boost::asio::io_context* io = nullptr;
    std::shared_ptr<ClientConnections> connections = std::make_shared<ClientConnections>();

    std::shared_ptr<pplx::cancellation_token_source> external;
    std::optional<pplx::cancellation_token_registration> registration;

    // How a cancelled request of this client fails.
    std::exception_ptr Cancelled() const;

    // Starts one exchange: the request text from method, pathAndQuery and
    // body, the reply into sink. Throws std::runtime_error when the request
    // cannot be made (bad address or text).
    void Start(const std::string& method, const std::string& pathAndQuery, const std::string& body,
               std::unique_ptr<ReplySink> sink, std::size_t readChunk);
};

}  // namespace tvo
