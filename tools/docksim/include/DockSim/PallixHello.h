#pragma once
// The hello datagrams an emulated Pallix dock sends, well formed or not, and
// the socket that sends them.

#include <FileDescriptor/FileDescriptor.h>

#include <sys/socket.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvo::DockSim {

enum class PallixHello {
    WellFormed,      // magic first, the agent port among other fields
    NoMagic,         // the magic in the wrong case
    MagicLate,       // other fields before the magic
    PortAtEnd,       // the port field ends the text
    PortThenFields,  // a second port field follows the first
    EmptyPort,       // "acsp=" directly followed by a comma
    Oversized,       // longer than the camera reads; the port ends at its last byte
    ZeroInside,      // a zero byte right after the port
    None,            // nothing is sent
    Late,            // well formed, sent after the camera stopped listening
};

struct PallixHelloKind {
    PallixHello kind;
    std::string_view name;  // as the command line spells it
    std::string_view description;
};

const std::vector<PallixHelloKind>& PallixHelloKinds();
std::string_view PallixHelloName(PallixHello kind);
std::optional<PallixHello> ParsePallixHello(std::string_view name);

// The datagram's bytes announcing an agent on agentPort; empty for None.
std::string PallixHelloDatagram(PallixHello kind, int agentPort);
// The agent port the camera must learn from the datagram, or nothing when
// its SayHello must fail.
std::optional<std::string> PallixLearntPort(PallixHello kind, int agentPort);
// Whether the camera hears the datagram at all (and so enters its sender).
bool PallixHelloHeard(PallixHello kind);

// Sends datagrams to one address and port. The address is numeric and may
// carry a scope: "::1", "127.0.0.1", "fe80::1%base0", "ff02::1%base0".
class PallixHelloSender {
public:
    // Throws std::runtime_error when the address is not usable.
    PallixHelloSender(const std::string& address, int port);
    // Throws std::runtime_error when the datagram cannot be sent whole.
    void Send(const std::string& datagram) const;

private:
    FileDescriptor socket;
    sockaddr_storage target{};
    socklen_t targetLength = 0;
    std::string description;
};

}  // namespace tvo::DockSim
