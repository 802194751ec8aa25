// The dock's hello: a UDP datagram on the USB link that names the port of the
// dock's agent and, by its sender, the dock's address.

#include "DockProtoPallixImpl.h"

#include <Common/DatagramSocket.h>
#include <Logger/LogClient.h>

#include <algorithm>
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
        std::unique_ptr<DatagramSocketIF> socket;
        try {
            socket = transport.openDiscoverySocket(settings.interfaceName, settings.discoveryPort);
        } catch (const DatagramSocketError& e) {
            PMX_LOG(LogLevel::Error, kLogCategoryDock) << e.what();
            return RC::Failed;
        }
        // One byte short of the buffer, as the hello is text.
        ReceivedDatagram hello;
        for (int call = 1;; ++call) {
            hello = socket->Receive(kBufferSize - 1);
            if (hello.size > 0) {
                break;
            }
            sleep(kPollPause);
            if (hello.error != EAGAIN || call >= kPolls) {
                break;
            }
        }
        socket.reset();

        if (hello.size <= 0) {
            if (hello.error == EAGAIN) {
                PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Resource temporarily unavailable";
            } else {
                PMX_LOG(LogLevel::Error, kLogCategoryDock) << "recvmsg error: " << ErrorText(hello.error);
            }
            return RC::Failed;
        }
        // Up to the first NUL: the dock's text, not what follows it.
        const std::string text = hello.payload.substr(0, hello.payload.find('\0'));
        PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Read hello message: " << text;

        PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Pallix IPv6 address: " << hello.sender;

        // Entered before the text is checked: the sender is the dock either way.
        if (!AddHostName(hello.sender, settings.dockHostName)) {
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
