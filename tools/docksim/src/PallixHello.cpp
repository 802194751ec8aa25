#include <DockSim/PallixHello.h>

#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

constexpr std::string_view kMagic = "KORVEL-PSS-HELLO";
// What the camera reads of a datagram at most.
constexpr std::size_t kCameraReads = 1023;

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

const std::vector<PallixHelloKind>& PallixHelloKinds() {
    static const std::vector<PallixHelloKind> kinds{
        {PallixHello::WellFormed, "well-formed", "magic first, the agent port among other fields"},
        {PallixHello::NoMagic, "no-magic", "the magic in lower case: not a hello"},
        {PallixHello::MagicLate, "magic-late", "other fields before the magic"},
        {PallixHello::PortAtEnd, "port-at-end", "the port field ends the text"},
        {PallixHello::PortThenFields, "port-then-fields", "the port field followed by a second one"},
        {PallixHello::EmptyPort, "empty-port", "\"acsp=\" directly followed by a comma"},
        {PallixHello::Oversized, "oversized", "over 1023 bytes, the port ending at byte 1023"},
        {PallixHello::ZeroInside, "zero-inside", "a zero byte right after the port"},
        {PallixHello::None, "none", "no datagram at all"},
        {PallixHello::Late, "late", "well formed, but after the camera stopped listening"},
    };
    return kinds;
}

std::string_view PallixHelloName(PallixHello kind) {
    for (const auto& known : PallixHelloKinds()) {
        if (known.kind == kind) {
            return known.name;
        }
    }
    return "?";
}

std::optional<PallixHello> ParsePallixHello(std::string_view name) {
    for (const auto& known : PallixHelloKinds()) {
        if (known.name == name) {
            return known.kind;
        }
    }
    return std::nullopt;
}

std::string PallixHelloDatagram(PallixHello kind, int agentPort) {
    const std::string magic(kMagic);
    const std::string port = std::to_string(agentPort);
    switch (kind) {
        case PallixHello::WellFormed:
        case PallixHello::Late: return magic + ",id=pallix-sim,acsp=" + port + ",fw=1.0";
        case PallixHello::NoMagic: return "korvel-pss-hello,id=pallix-sim,acsp=" + port;
        case PallixHello::MagicLate: return "id=pallix-sim,fw=1.0," + magic + ",acsp=" + port;
        case PallixHello::PortAtEnd: return magic + ",id=pallix-sim,acsp=" + port;
        case PallixHello::PortThenFields: return magic + ",acsp=" + port + ",acsp=1,id=pallix-sim";
        case PallixHello::EmptyPort: return magic + ",acsp=,id=pallix-sim";
        case PallixHello::Oversized: {
            // A camera that read one byte more would take the 9 into the port.
            const std::string head = magic + ",pad=";
            const std::string field = ",acsp=" + port;
            const std::string padding(kCameraReads - head.size() - field.size(), 'x');
            return head + padding + field + "9,tail=" + std::string(400, 'y');
        }
        case PallixHello::ZeroInside: return magic + ",acsp=" + port + std::string(1, '\0') + "9,id=pallix-sim";
        case PallixHello::None: break;
    }
    return {};
}

std::optional<std::string> PallixLearntPort(PallixHello kind, int agentPort) {
    switch (kind) {
        case PallixHello::NoMagic:
        case PallixHello::None:
        case PallixHello::Late: return std::nullopt;
        case PallixHello::EmptyPort: return std::string();
        default: return std::to_string(agentPort);
    }
}

bool PallixHelloHeard(PallixHello kind) {
    return kind != PallixHello::None && kind != PallixHello::Late;
}

PallixHelloSender::PallixHelloSender(const std::string& address, int port) : description(address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
    std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    if (rc != 0 || !list) {
        throw std::runtime_error("hello target '" + address + "': " + gai_strerror(rc));
    }
    socket.Reset(::socket(list->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        throw std::runtime_error("hello socket: " + std::string(std::strerror(errno)));
    }
    std::memcpy(&target, list->ai_addr, list->ai_addrlen);
    targetLength = list->ai_addrlen;
    description += " port " + service;
}

void PallixHelloSender::Send(const std::string& datagram) const {
    const ssize_t sent = sendto(socket.Get(), datagram.data(), datagram.size(), 0,
                                reinterpret_cast<const sockaddr*>(&target), targetLength);
    if (sent < 0 || static_cast<std::size_t>(sent) != datagram.size()) {
        throw std::runtime_error("hello to " + description + ": " +
                                 (sent < 0 ? std::string(std::strerror(errno)) : "sent in part"));
    }
}

}  // namespace tvo::DockSim
