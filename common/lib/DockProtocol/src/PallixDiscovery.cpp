// The dock's hello: a UDP datagram on the USB link that names the port of the
// dock's agent and, by its sender, the dock's address.

#include "DockProtoPallixImpl.h"

#include <FileDescriptor/FileDescriptor.h>
#include <Logger/LogClient.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>

namespace tvo {
namespace {

constexpr std::string_view kMagic = "KORVEL-PSS-HELLO";
constexpr std::string_view kAgentPortField = "acsp=";
constexpr char kFieldSeparator = ',';
constexpr std::size_t kBufferSize = 1024;
constexpr int kPolls = 6;
constexpr std::chrono::milliseconds kPollPause{200};

using RC = DockProtoIF::ReturnCode;

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

}  // namespace

std::optional<std::string> DockProtoPallixImpl::ParseHello(std::string_view text) {
    if (text.find(kMagic) == std::string_view::npos) {
        return std::nullopt;
    }
    const auto field = text.find(kAgentPortField);
    if (field == std::string_view::npos) {
        return std::nullopt;
    }
    const auto start = field + kAgentPortField.size();
    const auto end = text.find(kFieldSeparator, start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

bool DockProtoPallixImpl::IsAgentPort(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const long value = std::stol(std::string(text));
    return value >= 1 && value <= 65535;
}

RC DockProtoPallixImpl::SayHello() {
    try {
        const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int socketError = errno;
        FileDescriptor socket(fd);
        if (!socket.IsOpen()) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to create socket: " << ErrorText(socketError);
            return RC::Failed;
        }
        const int reuse = 1;
        if (setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to set SO_REUSEADDR: " << ErrorText(errno);
            return RC::Failed;
        }
        if (BindToDevice(socket.Get(), settings.interfaceName) != 0) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to bind socket to device: " << ErrorText(errno);
            return RC::Failed;
        }
        sockaddr_in6 local{};
        local.sin6_family = AF_INET6;
        local.sin6_addr = in6addr_any;
        local.sin6_port = htons(settings.discoveryPort);
        if (bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to bind socket to address: " << ErrorText(errno);
            return RC::Failed;
        }

        // Zero-filled and never filled completely, so the text is terminated.
        std::array<char, kBufferSize> buffer{};
        sockaddr_in6 sender{};
        std::array<char, 40> control{};
        iovec vector{buffer.data(), buffer.size() - 1};
        ssize_t received = 0;
        int error = 0;
        for (int call = 1;; ++call) {
            msghdr message{};
            message.msg_name = &sender;
            message.msg_namelen = sizeof sender;
            message.msg_iov = &vector;
            message.msg_iovlen = 1;
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            errno = 0;
            received = recvmsg(socket.Get(), &message, 0);
            if (received > 0) {
                break;
            }
            error = errno;
            sleep(kPollPause);
            if (error != EAGAIN || call >= kPolls) {
                break;
            }
        }
        socket.Reset();

        if (received <= 0) {
            if (error == EAGAIN) {
                PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Resource temporarily unavailable";
            } else {
                PMX_LOG(LogLevel::Error, kLogCategoryDock) << "recvmsg error: " << ErrorText(error);
            }
            return RC::Failed;
        }
        const std::string text(buffer.data());
        PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Read hello message: " << text;

        std::array<char, INET6_ADDRSTRLEN> address{};
        inet_ntop(AF_INET6, &sender.sin6_addr, address.data(), address.size());
        PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Pallix IPv6 address: " << address.data();

        // Entered before the text is checked: the sender is the dock either way.
        if (!AddHostName(address.data(), settings.dockHostName)) {
            return RC::Failed;
        }
        const auto port = ParseHello(text);
        if (!port) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to parse the hello message";
            return RC::Failed;
        }
        if (IsAgentPort(*port)) {
            agentPort = *port;
        } else {
            // The port ends up in a URI: anything but a port number could
            // steer the open request, and the serial number, elsewhere.
            agentPort.clear();
            PMX_LOG(LogLevel::Warning, kLogCategoryDock)
                << "The hello names no usable agent port (" << port->size() << " bytes)";
        }
        PMX_LOG(LogLevel::Info, kLogCategoryDock)
            << "Got discovery message from Pallix. Agent port number is: " << agentPort;
        return RC::Ok;
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Exception: " << e.what();
        return RC::Failed;
    }
}

}  // namespace tvo
