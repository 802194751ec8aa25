#include <gtest/gtest.h>

#include <sys/socket.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>

#include "InterfaceBinding.h"
#include "RawServer.h"

namespace tvo {
namespace {

using boost::asio::ip::tcp;

int SocketOption(tcp::socket& socket, int option, char* value, socklen_t size) {
    ::getsockopt(socket.native_handle(), SOL_SOCKET, option, value, &size);
    return static_cast<int>(size);
}
int DomainOf(tcp::socket& socket) {
    int domain = 0;
    SocketOption(socket, SO_DOMAIN, reinterpret_cast<char*>(&domain), sizeof domain);
    return domain;
}
std::string DeviceOf(tcp::socket& socket) {
    char name[64] = {};
    SocketOption(socket, SO_BINDTODEVICE, name, sizeof name);
    return name;
}

// qemu-user binds a socket to a device but cannot report the binding back;
// there the tests cannot see what they check.
bool DeviceCanBeReadBack() {
    boost::asio::io_context io;
    tcp::socket probe(io, tcp::v4());
    ::setsockopt(probe.native_handle(), SOL_SOCKET, SO_BINDTODEVICE, "lo", 2);
    return DeviceOf(probe) == "lo";
}

// cpprestsdk hands the call-back a closed socket, which must come out open
// for the family the host resolves to, bound, and able to connect.
TEST(InterfaceBinder, OpensTheSocketForTheTargetsFamilyAndBindsIt) {
    if (!DeviceCanBeReadBack()) {
        GTEST_SKIP() << "getsockopt(SO_BINDTODEVICE) is not answered here (qemu-user)";
    }
    test::RawServer v4(""), v6("", true);
    const std::tuple<std::string, tcp::endpoint, int> cases[] = {
        {"http://127.0.0.1:" + std::to_string(v4.Port()), {boost::asio::ip::make_address("127.0.0.1"), 0}, AF_INET},
        {"http://[::1]:" + std::to_string(v6.Port()), {boost::asio::ip::make_address("::1"), 0}, AF_INET6},
    };
    boost::asio::io_context io;
    for (const std::string interfaceName : {"", "lo"}) {
        for (auto [target, peer, domain] : cases) {
            tcp::socket socket(io);
            MakeInterfaceBinder(interfaceName, web::uri(target))(&socket);
            ASSERT_TRUE(socket.is_open()) << target;
            EXPECT_EQ(DomainOf(socket), domain) << target;
            EXPECT_EQ(DeviceOf(socket), interfaceName) << target;
            peer.port(static_cast<unsigned short>(web::uri(target).port()));
            boost::system::error_code error;
            socket.connect(peer, error);
            EXPECT_FALSE(error) << target << " via '" << interfaceName << "': " << error.message();
        }
    }
}

TEST(InterfaceBinder, HandlesTlsStreamsAndOpenSockets) {
    if (!DeviceCanBeReadBack()) {
        GTEST_SKIP() << "getsockopt(SO_BINDTODEVICE) is not answered here (qemu-user)";
    }
    boost::asio::io_context io;
    boost::asio::ssl::context tls(boost::asio::ssl::context::tls_client);
    tcp::socket inner(io);
    boost::asio::ssl::stream<tcp::socket&> stream(inner, tls);
    MakeInterfaceBinder("lo", web::uri("https://127.0.0.1:8443"))(&stream);
    EXPECT_EQ(DeviceOf(inner), "lo");

    tcp::socket pooled(io, tcp::v4());  // a kept-alive connection arrives open
    MakeInterfaceBinder("", web::uri("http://[::1]:80"))(&pooled);
    EXPECT_EQ(DomainOf(pooled), AF_INET);
}

}  // namespace
}  // namespace tvo
