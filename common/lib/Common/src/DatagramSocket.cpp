#include <Common/DatagramSocket.h>
#include <FileDescriptor/FileDescriptor.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tvo {
namespace {

std::string ErrorText(int error) {
    return std::strerror(error);
}

// Binds the socket to the interface the way the kernel documents it for an
// ifreq, with the name truncated to what the record holds.
int BindToDevice(int fd, const std::string& interfaceName) {
    ifreq request{};
    interfaceName.copy(request.ifr_name, sizeof request.ifr_name - 1);
    return setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, &request, sizeof request);
}

class Ipv6DatagramSocket : public DatagramSocketIF {
public:
    explicit Ipv6DatagramSocket(FileDescriptor opened) : socket(std::move(opened)) {}

    ReceivedDatagram Receive(std::size_t maxBytes) override {
        ReceivedDatagram result;
        std::vector<char> buffer(maxBytes);
        sockaddr_in6 sender{};
        std::array<char, 40> control{};
        iovec vector{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        errno = 0;
        const ssize_t received = recvmsg(socket.Get(), &message, 0);
        result.error = errno;
        result.size = static_cast<long>(received);
        if (received > 0) {
            result.payload.assign(buffer.data(), static_cast<std::size_t>(received));
        }
        if (received >= 0) {
            std::array<char, INET6_ADDRSTRLEN> address{};
            inet_ntop(AF_INET6, &sender.sin6_addr, address.data(), address.size());
            result.sender = address.data();
        }
        return result;
    }

private:
    FileDescriptor socket;
};

}  // namespace

DatagramSocketIF::~DatagramSocketIF() = default;
DatagramSocketError::~DatagramSocketError() = default;

std::unique_ptr<DatagramSocketIF> OpenDatagramSocket(const std::string& interfaceName, std::uint16_t port) {
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int socketError = errno;
    FileDescriptor socket(fd);
    if (!socket.IsOpen()) {
        throw DatagramSocketError("Failed to create socket: " + ErrorText(socketError));
    }
    const int reuse = 1;
    if (setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) {
        throw DatagramSocketError("Failed to set SO_REUSEADDR: " + ErrorText(errno));
    }
    if (BindToDevice(socket.Get(), interfaceName) != 0) {
        throw DatagramSocketError("Failed to bind socket to device: " + ErrorText(errno));
    }
    sockaddr_in6 local{};
    local.sin6_family = AF_INET6;
    local.sin6_addr = in6addr_any;
    local.sin6_port = htons(port);
    if (bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        throw DatagramSocketError("Failed to bind socket to address: " + ErrorText(errno));
    }
    return std::make_unique<Ipv6DatagramSocket>(std::move(socket));
}

}  // namespace tvo
