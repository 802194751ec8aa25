#include "ServerSession.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "Logger/LogClient.h"
#include "ServerLoop.h"

namespace tvo {
namespace {

namespace beast = boost::beast;
namespace http = boost::beast::http;
using boost::system::error_code;

// Bytes kept unparsed at once beyond a header: with the 16 KiB header limit,
// a connection holds at most 64 KiB besides its body.
constexpr std::size_t kReadBuffer = std::size_t{48} * 1024;
// Longest wait for a refused body to stop arriving.
constexpr std::chrono::milliseconds kDrainTime{2000};
// A chunked body grows its string by doubling; reserving the limit up front
// keeps it at the limit. Past this, growing is cheaper than the reservation.
constexpr std::size_t kReserveUpTo = std::size_t{64} * 1024 * 1024;

// A malformed request, as opposed to a connection that broke or timed out.
bool IsProtocolError(const error_code& ec) {
    return ec.category() == http::make_error_code(http::error::bad_target).category() &&
           ec != http::error::end_of_stream && ec != http::error::partial_message;
}

}  // namespace

ServerSession::ServerSession(boost::asio::ip::tcp::socket socket, std::shared_ptr<HttpServer::Impl> owner,
                             ServerLoop& serverLoop, const HttpServer::Limits& connectionLimits)
    : stream(std::move(socket)),
      buffer(connectionLimits.maxHeaderBytes + kReadBuffer),
      server(std::move(owner)),
      loop(serverLoop),
      limits(connectionLimits) {
    loop.Opened(this);
}

ServerSession::~ServerSession() {
    loop.Closed(this);
}

void ServerSession::Start() {
    AwaitRequest();
}

void ServerSession::Abort() {
    error_code ignored;
    stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    stream.close();
}

void ServerSession::AwaitRequest() {
    if (first || buffer.size() > 0) {
        first = false;
        ReadHeader();
        return;
    }
    // Between requests the idle limit runs; the header limit starts with the
    // next request's first byte.
    stream.expires_after(limits.idleTimeout);
    stream.async_read_some(buffer.prepare(std::min(kReadBuffer, buffer.max_size())),
                           [self = shared_from_this()](error_code ec, std::size_t n) {
                               if (ec) {
                                   return;  // idle too long, or the peer left
                               }
                               self->buffer.commit(n);
                               self->ReadHeader();
                           });
}

void ServerSession::ReadHeader() {
    parser.emplace();
    parser->header_limit(static_cast<std::uint32_t>(limits.maxHeaderBytes));
    parser->body_limit(server->maxBodySize.load());
    stream.expires_after(limits.headerTimeout);
    http::async_read_header(stream, buffer, *parser,
                            [self = shared_from_this()](error_code ec, std::size_t) { self->OnHeader(ec); });
}

void ServerSession::OnHeader(error_code ec) {
    if (ec == http::error::header_limit) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Request header over " << limits.maxHeaderBytes << " bytes refused";
        Refuse(HttpServer::RequestHeaderFieldsTooLarge, "request header too large");
        return;
    }
    if (ec == http::error::body_limit) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "Request body of " << parser->get()[http::field::content_length]
                                                     << " bytes refused, limit " << server->maxBodySize.load();
        Refuse(HttpServer::RequestEntityTooLarge, "request body too large");
        return;
    }
    if (IsProtocolError(ec)) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "Malformed request: " << ec.message();
        Refuse(HttpServer::BadRequest, "malformed request");
        return;
    }
    if (ec) {
        return;  // timed out, closed or reset: nobody to answer
    }
    const auto& header = parser->get();
    version = header.version();
    if (parser->chunked()) {
        const std::size_t limit = server->maxBodySize.load();
        parser->get().body().reserve(limit <= kReserveUpTo ? limit : 0);
    }
    // curl waits a second for this before it sends a body over 1 KiB.
    if (version >= 11 && beast::iequals(header[http::field::expect], "100-continue") && !parser->is_done()) {
        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
        stream.expires_after(limits.bodyTimeout);
        boost::asio::async_write(stream, boost::asio::buffer(kContinue, sizeof kContinue - 1),
                                 [self = shared_from_this()](error_code written, std::size_t) {
                                     if (!written) {
                                         self->ReadBody();
                                     }
                                 });
        return;
    }
    if (parser->is_done()) {
        OnBody({});  // no body, or all of it came with the header: no read, no timer
        return;
    }
    ReadBody();
}

void ServerSession::ReadBody() {
    stream.expires_after(limits.bodyTimeout);
    http::async_read(stream, buffer, *parser,
                     [self = shared_from_this()](error_code ec, std::size_t) { self->OnBody(ec); });
}

void ServerSession::OnBody(error_code ec) {
    if (ec == http::error::body_limit) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Request body cut off past the limit of " << server->maxBodySize.load() << " bytes";
        parser.reset();  // what was kept of it goes now
        Refuse(HttpServer::RequestEntityTooLarge, "request body too large");
        return;
    }
    if (IsProtocolError(ec)) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "Malformed request body: " << ec.message();
        parser.reset();
        Refuse(HttpServer::BadRequest, "malformed request");
        return;
    }
    if (ec) {
        return;
    }
    Request request = parser->release();
    parser.reset();
    Answer(std::move(request));
}

void ServerSession::Answer(Request request) {
    const bool keepAlive = request.keep_alive();
    auto result =
        server->routes.Answer(std::string(request.method_string()), std::string(request.target()), request.body());
    Send(result.first, std::move(result.second), keepAlive, false);
}

void ServerSession::Refuse(HttpServer::StatusCode status, const std::string& reason) {
    Send(status, server->routes.ErrorBody(status, reason), false, true);
}

void ServerSession::Send(HttpServer::StatusCode status, std::string body, bool keepAlive, bool drainAfter) {
    response = {};
    response.version(version);
    response.result(static_cast<unsigned>(status));
    response.set(http::field::content_type, LooksLikeJson(body) ? "application/json" : "text/plain; charset=utf-8");
    response.keep_alive(keepAlive);
    response.body() = std::move(body);
    response.prepare_payload();
    // A peer that does not take its reply holds the connection no longer than
    // one that does not send its body.
    stream.expires_after(limits.bodyTimeout);
    http::async_write(stream, response, [self = shared_from_this(), keepAlive, drainAfter](error_code ec, std::size_t) {
        self->response = {};
        if (ec) {
            return;
        }
        if (drainAfter) {
            error_code ignored;
            self->stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
            self->stream.expires_after(std::min<std::chrono::milliseconds>(kDrainTime, self->limits.bodyTimeout));
            self->Drain();
        } else if (keepAlive) {
            self->AwaitRequest();
        } else {
            error_code ignored;
            self->stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
        }
    });
}

void ServerSession::Drain() {
    stream.async_read_some(boost::asio::buffer(scrap), [self = shared_from_this()](error_code ec, std::size_t) {
        if (!ec) {
            self->Drain();
        }
    });
}

}  // namespace tvo
