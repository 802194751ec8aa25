#pragma once
// One accepted connection of an HttpServer: reads requests one at a time
// under the server's limits, hands each to its handler and writes the reply.
// Lives as long as an operation of it is pending; runs on the loop's thread.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "HttpServerImpl.h"

namespace tvo {

class ServerLoop;

class ServerSession : public std::enable_shared_from_this<ServerSession> {
public:
    ServerSession(boost::asio::ip::tcp::socket socket, std::shared_ptr<HttpServer::Impl> server, ServerLoop& loop,
                  const HttpServer::Limits& limits);
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    void Start();
    // Closes the connection; what is pending ends without a reply.
    void Abort();

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    void AwaitRequest();
    void ReadHeader();
    void OnHeader(boost::system::error_code ec);
    void ReadBody();
    void OnBody(boost::system::error_code ec);
    void Answer(Request request);
    void Send(HttpServer::StatusCode status, std::string body, bool keepAlive, bool drainAfter);
    // An error reply of the server's own making; the connection closes after it.
    void Refuse(HttpServer::StatusCode status, const std::string& reason);
    // Reads and drops what the peer still sends, for a while, so that it sees
    // the reply instead of a reset; then closes.
    void Drain();

    boost::beast::tcp_stream stream;
    boost::beast::flat_buffer buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser;
    boost::beast::http::response<boost::beast::http::string_body> response;
    std::shared_ptr<HttpServer::Impl> server;
    ServerLoop& loop;
    const HttpServer::Limits limits;
    unsigned version = 11;  // of the request being answered
    bool first = true;
    std::array<char, 4096> scrap{};
};

}  // namespace tvo
