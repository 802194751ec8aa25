#include "InterfaceBinding.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>

#include "Logger/LogClient.h"

namespace tvo {
namespace {

using Socket = boost::asio::ip::tcp::socket;

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

// The family of the first address the resolver gives for host:port, with the
// hints that boost::asio's resolver uses, so that it matches the endpoint
// cpprestsdk will connect to first.
boost::asio::ip::tcp ProtocolOf(std::string host, const std::string& port) {
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    if (rc != 0 || !list) {
        throw std::runtime_error("cannot resolve " + host + ": " + ::gai_strerror(rc));
    }
    return list->ai_family == AF_INET6 ? boost::asio::ip::tcp::v6() : boost::asio::ip::tcp::v4();
}

}  // namespace

std::function<void(web::http::client::native_handle)> MakeInterfaceBinder(const std::string& interfaceName,
                                                                          const web::uri& target) {
    const bool secure = target.scheme() == "https";
    const std::string& host = target.host();
    const int portNumber = target.port() > 0 ? target.port() : (secure ? 443 : 80);
    const std::string port = std::to_string(portNumber);

    return [interfaceName, secure, host, port](web::http::client::native_handle handle) {
        // http hands the socket itself, https the TLS stream around it.
        Socket& socket = secure ? static_cast<boost::asio::ssl::stream<Socket&>*>(handle)->next_layer()
                                : *static_cast<Socket*>(handle);
        if (!socket.is_open()) {
            socket.open(ProtocolOf(host, port));
        }
        if (interfaceName.empty()) {
            return;
        }
        if (::setsockopt(socket.native_handle(), SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                         static_cast<socklen_t>(interfaceName.size())) != 0) {
            const std::string reason = std::strerror(errno);
            PMX_LOG(LogLevel::Error, kLogCategoryRest)
                << "Cannot bind HTTP connection to interface " << interfaceName << ": " << reason;
            throw std::runtime_error("cannot bind HTTP connection to interface " + interfaceName + ": " + reason);
        }
    };
}

}  // namespace tvo
