#include "MinimalBeastServer.h"

#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace tvo::bench {
namespace {

namespace http = boost::beast::http;
using boost::asio::ip::tcp;

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, const std::function<std::string(const std::string&)>& answer)
        : stream(std::move(socket)), answer(answer) {}

    void Read() {
        request = {};
        http::async_read(stream, buffer, request, [self = shared_from_this()](auto ec, std::size_t) {
            if (!ec) {
                self->Write();
            }
        });
    }

private:
    void Write() {
        response = {};
        response.version(request.version());
        response.result(http::status::ok);
        response.set(http::field::content_type, "application/json");
        response.keep_alive(request.keep_alive());
        response.body() = answer(request.body());
        response.prepare_payload();
        http::async_write(stream, response, [self = shared_from_this()](auto ec, std::size_t) {
            if (!ec && self->response.keep_alive()) {
                self->Read();
            }
        });
    }

    boost::beast::tcp_stream stream;
    const std::function<std::string(const std::string&)>& answer;
    boost::beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::response<http::string_body> response;
};

}  // namespace

struct MinimalBeastServer::State {
    explicit State(std::function<std::string(const std::string&)> answer) : answer(std::move(answer)) {}
    void Accept() {
        acceptor.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
            if (ec) {
                return;
            }
            std::make_shared<Connection>(std::move(socket), answer)->Read();
            Accept();
        });
    }
    std::function<std::string(const std::string&)> answer;
    boost::asio::io_context io{1};
    tcp::acceptor acceptor{io};
};

MinimalBeastServer::MinimalBeastServer(int port, std::function<std::string(const std::string&)> answer)
    : state(std::make_shared<State>(std::move(answer))) {
    const tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port));
    state->acceptor.open(endpoint.protocol());
    state->acceptor.set_option(boost::asio::socket_base::reuse_address(true));
    state->acceptor.bind(endpoint);
    state->acceptor.listen();
    state->Accept();
    thread = std::thread([state = state] { state->io.run(); });
}

MinimalBeastServer::~MinimalBeastServer() {
    state->io.stop();
    thread.join();
}

}  // namespace tvo::bench
