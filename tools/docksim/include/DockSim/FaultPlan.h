#pragma once
// Makes the camera's effects fail on purpose. A plan wraps a protocol
// environment on an in-memory network: it numbers every effect the protocol
// object makes (each HTTP exchange and listen, each socket it opens, each
// datagram it takes, each ioctl and interface query, each call to the
// connection manager, each sleep, each file open, read, write, rename and
// removal) and makes the chosen one fail in one of the
// ways that effect really fails, or every one from a step on, as when the
// dock is pulled out. A road run once without a fault tells how many effects
// it has; the torture tests then run it again for every effect and failure.

#include <DockSim/InMemoryNetwork.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvo {
struct ProtocolEnvironment;
}

namespace tvo::DockSim {

enum class EffectKind {
    HttpExchange,       // a request and its reply, or a download
    HttpListen,         // an inbound server starts to listen
    SocketOpen,         // the discovery socket or the ioctl socket
    DatagramReceive,    // a datagram taken from the socket
    Ioctl,              // one ioctl through the seam
    InterfaceQuery,     // a network interface's MAC, state or address
    ConnectionManager,  // a call to the connection manager
    Sleep,              // the protocol waits; never fails
    // Files do not go away with the dock: a pulled dock leaves them be.
    FileOpen,    // an open, or a named pipe made
    FileRead,    // a read of an open file
    FileWrite,   // a write, or a copy in the kernel into a file or pipe
    FileRename,  // a new file renamed over its path
    FileRemove,  // a file removed
};

enum class Failure {
    // HTTP exchange
    Refused,
    ResetBeforeHeaders,
    ResetMidBody,
    NoAnswer,  // nothing within the client's limit
    ServerError,
    GarbageBody,
    // inbound server
    AddressInUse,
    // sockets and datagrams
    OpenFails,
    Silence,  // the datagram that came is lost
    // ioctls
    IoError,
    NotSupported,
    ShortTransfer,  // the driver gives back fewer EEPROM bytes than asked
    Garbled,        // the EEPROM bytes come back changed
    // interface queries
    Unreadable,
    // connection manager
    Refusal,  // a false result with an error text
    // files
    NoSuchFile,    // ENOENT
    AccessDenied,  // EACCES
    DiskFull,      // ENOSPC
    ShortWrite,    // half of what was asked is written; the caller goes on
};

const char* Name(EffectKind kind);
const char* Name(Failure failure);

struct Effect {
    EffectKind kind;
    std::string what;       // "PUT ?type=say_hello", "SIOCETHTOOL", "sleep 100 ms"
    std::string operation;  // the host's operation it belongs to, as the road named it
    // An EEPROM read, which can also come back short or garbled.
    bool eepromRead = false;
};

// The ways an effect can fail; none for a sleep.
std::vector<Failure> FailuresOf(const Effect& effect);
// How an effect fails when the link is gone; nothing for a file or a sleep.
std::optional<Failure> LinkGone(const Effect& effect);

class FaultPlan {
public:
    FaultPlan();

    // Routes the environment's HTTP clients to the network through the plan
    // (a null network leaves them be: a dock without HTTP), and wraps every
    // other effect of the environment. Apply after the
    // environment is otherwise complete; the wrappers keep the plan alive.
    void Apply(ProtocolEnvironment& environment, const std::shared_ptr<InMemoryNetwork>& network) const;

    // The effect with this number (from 1, counted since the last Reset)
    // fails with this failure; a failure the effect cannot have leaves it be.
    void FailAt(std::size_t number, Failure failure);
    // Every effect from this number on fails as when the link is gone.
    void FailFrom(std::size_t number);
    // No more failures; the counting goes on.
    void Heal();
    // Forgets the effects counted and the failures planned.
    void Reset();

    // The host's operation the next effects belong to.
    void Operation(const std::string& name);

    std::vector<Effect> Effects() const;
    std::size_t Count() const;
    // The effects that were made to fail, with their numbers (from 1).
    std::vector<std::pair<std::size_t, Effect>> Struck() const;

    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace tvo::DockSim
