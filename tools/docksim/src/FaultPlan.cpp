// The fault plan's wrappers: each one numbers its effect, and gives the
// failure planned for that number instead of (or on top of) the real thing.

#include <DockSim/FaultPlan.h>

#include <Common/DatagramSocket.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <fcntl.h>
#include <net/if.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace tvo::DockSim {

const char* Name(EffectKind kind) {
    switch (kind) {
        case EffectKind::HttpExchange: return "HTTP exchange";
        case EffectKind::HttpListen: return "HTTP listen";
        case EffectKind::SocketOpen: return "socket open";
        case EffectKind::DatagramReceive: return "datagram receive";
        case EffectKind::Ioctl: return "ioctl";
        case EffectKind::InterfaceQuery: return "interface query";
        case EffectKind::ConnectionManager: return "connection manager";
        case EffectKind::Sleep: return "sleep";
        case EffectKind::FileOpen: return "file open";
        case EffectKind::FileRead: return "file read";
        case EffectKind::FileWrite: return "file write";
        case EffectKind::FileRename: return "file rename";
        case EffectKind::FileRemove: return "file remove";
    }
    return "?";
}

const char* Name(Failure failure) {
    switch (failure) {
        case Failure::Refused: return "refused";
        case Failure::ResetBeforeHeaders: return "reset before the headers";
        case Failure::ResetMidBody: return "reset mid-body";
        case Failure::NoAnswer: return "no answer";
        case Failure::ServerError: return "500";
        case Failure::GarbageBody: return "garbage body";
        case Failure::AddressInUse: return "address in use";
        case Failure::OpenFails: return "open fails";
        case Failure::Silence: return "silence";
        case Failure::IoError: return "EIO";
        case Failure::NotSupported: return "EOPNOTSUPP";
        case Failure::ShortTransfer: return "short transfer";
        case Failure::Garbled: return "garbled transfer";
        case Failure::Unreadable: return "unreadable";
        case Failure::Refusal: return "false with an error text";
        case Failure::NoSuchFile: return "ENOENT";
        case Failure::AccessDenied: return "EACCES";
        case Failure::DiskFull: return "ENOSPC";
        case Failure::ShortWrite: return "short write";
    }
    return "?";
}

namespace {
// Only bringing a connection up answers; pruning a file answers nothing.
constexpr const char* kToggle = "toggle";
// An open that makes the file, or a named pipe made.
constexpr const char* kCreate = "create ";
}  // namespace

std::vector<Failure> FailuresOf(const Effect& effect) {
    switch (effect.kind) {
        case EffectKind::HttpExchange:
            return {Failure::Refused,  Failure::ResetBeforeHeaders, Failure::ResetMidBody,
                    Failure::NoAnswer, Failure::ServerError,        Failure::GarbageBody};
        case EffectKind::HttpListen: return {Failure::AddressInUse};
        case EffectKind::SocketOpen: return {Failure::OpenFails};
        case EffectKind::DatagramReceive: return {Failure::Silence};
        case EffectKind::Ioctl:
            if (effect.eepromRead) {
                return {Failure::IoError, Failure::NotSupported, Failure::ShortTransfer, Failure::Garbled};
            }
            return {Failure::IoError, Failure::NotSupported};
        case EffectKind::InterfaceQuery: return {Failure::Unreadable};
        case EffectKind::ConnectionManager:
            if (effect.what.rfind(kToggle, 0) == 0) {
                return {Failure::Refusal};
            }
            return {};
        case EffectKind::Sleep: return {};
        case EffectKind::FileOpen:
            // Only a file being made can find the disk full.
            if (effect.what.rfind(kCreate, 0) == 0) {
                return {Failure::NoSuchFile, Failure::AccessDenied, Failure::DiskFull};
            }
            return {Failure::NoSuchFile, Failure::AccessDenied};
        case EffectKind::FileRead: return {Failure::IoError};
        case EffectKind::FileWrite: return {Failure::DiskFull, Failure::ShortWrite};
        case EffectKind::FileRename:
        case EffectKind::FileRemove: return {Failure::NoSuchFile, Failure::AccessDenied};
    }
    return {};
}

std::optional<Failure> LinkGone(const Effect& effect) {
    if (FailuresOf(effect).empty()) {
        return std::nullopt;  // pruning a file: no answer to lose
    }
    switch (effect.kind) {
        case EffectKind::HttpExchange: return Failure::Refused;
        case EffectKind::HttpListen: return Failure::AddressInUse;
        case EffectKind::SocketOpen: return Failure::OpenFails;
        case EffectKind::DatagramReceive: return Failure::Silence;
        case EffectKind::Ioctl: return Failure::IoError;
        case EffectKind::InterfaceQuery: return Failure::Unreadable;
        case EffectKind::ConnectionManager: return Failure::Refusal;
        case EffectKind::Sleep:
        case EffectKind::FileOpen:
        case EffectKind::FileRead:
        case EffectKind::FileWrite:
        case EffectKind::FileRename:
        case EffectKind::FileRemove: break;
    }
    return std::nullopt;
}

struct FaultPlan::State {
    mutable std::mutex mutex;
    std::vector<Effect> effects;
    std::vector<std::pair<std::size_t, Effect>> struck;
    std::string operation;
    std::size_t failAt = 0;
    Failure failure = Failure::Refused;
    std::size_t failFrom = 0;

    // Numbers the effect; the failure it is to have, if any.
    std::optional<Failure> Record(Effect effect) {
        std::lock_guard<std::mutex> lock(mutex);
        effect.operation = operation;
        effects.push_back(effect);
        const std::size_t number = effects.size();
        const auto possible = FailuresOf(effect);
        std::optional<Failure> chosen;
        if (number == failAt) {
            for (const Failure f : possible) {
                if (f == failure) {
                    chosen = f;
                }
            }
        } else if (failFrom != 0 && number >= failFrom) {
            chosen = LinkGone(effect);
        }
        if (chosen) {
            struck.emplace_back(number, std::move(effect));
        }
        return chosen;
    }
};

namespace {

using Shared = std::shared_ptr<FaultPlan::State>;

RawReply ReplyFor(Failure failure) {
    RawReply reply;
    reply.contentType = "application/json";
    switch (failure) {
        case Failure::Refused: reply.refused = true; break;
        case Failure::ResetBeforeHeaders: reply.hangUp = true; break;
        case Failure::ResetMidBody:
            reply.body = R"({"result":"OK","version":")" + std::string(4096, '7') + R"("})";
            reply.cutAfter = 20;
            break;
        case Failure::NoAnswer: reply.never = true; break;
        case Failure::ServerError:
            reply.status = 500;
            reply.contentType = "text/plain";
            reply.body = "Internal Server Error";
            break;
        default:  // a garbage body
            reply.body = "\x80\xfe{\"\xff\x01[[garbage";
            break;
    }
    return reply;
}

class FaultingServer : public HttpServerIF {
public:
    FaultingServer(Shared plan, std::unique_ptr<HttpServerIF> inner, std::string where)
        : plan(std::move(plan)), inner(std::move(inner)), where(std::move(where)) {}

    void setMessageHandler(MessageHandler handler, HandlerMethodType method) override {
        inner->setMessageHandler(std::move(handler), method);
    }
    void listen() override {
        if (plan->Record({EffectKind::HttpListen, "listen " + where, {}, false})) {
            throw std::runtime_error("Address already in use");
        }
        inner->listen();
    }
    void close() override { inner->close(); }
    void setMaxBodySize(std::size_t bytes) override { inner->setMaxBodySize(bytes); }
    void setLimits(const Limits& limits) override { inner->setLimits(limits); }
    void setErrorBodyMaker(ErrorBodyMaker maker) override { inner->setErrorBodyMaker(std::move(maker)); }

private:
    Shared plan;
    std::unique_ptr<HttpServerIF> inner;
    std::string where;
};

class FaultingSocket : public DatagramSocketIF {
public:
    FaultingSocket(Shared plan, std::unique_ptr<DatagramSocketIF> inner)
        : plan(std::move(plan)), inner(std::move(inner)) {}

    // Only a datagram that came is an effect: a look that finds none is not.
    ReceivedDatagram Receive(std::size_t maxBytes) override {
        ReceivedDatagram received = inner->Receive(maxBytes);
        if (received.size >= 0 &&
            plan->Record({EffectKind::DatagramReceive, "datagram from " + received.sender, {}, false})) {
            received = ReceivedDatagram{};
            received.error = EAGAIN;
        }
        return received;
    }

private:
    Shared plan;
    std::unique_ptr<DatagramSocketIF> inner;
};

// The EEPROM header of an ethtool request, when it is one.
ethtool_eeprom* EepromOf(unsigned long request, char* arg) {
    if (request != SIOCETHTOOL || arg == nullptr) {
        return nullptr;
    }
    ifreq interfaceRequest{};
    std::memcpy(&interfaceRequest, arg, sizeof interfaceRequest);
    auto* header = reinterpret_cast<ethtool_eeprom*>(interfaceRequest.ifr_data);
    if (header == nullptr || (header->cmd != ETHTOOL_GEEPROM && header->cmd != ETHTOOL_SEEPROM)) {
        return nullptr;
    }
    return header;
}

std::string RequestName(unsigned long request) {
    switch (request) {
        case SIOCETHTOOL: return "SIOCETHTOOL";
        case SIOCGMIIPHY: return "SIOCGMIIPHY";
        case SIOCGMIIREG: return "SIOCGMIIREG";
        case SIOCSMIIREG: return "SIOCSMIIREG";
        default: return "ioctl " + std::to_string(request);
    }
}

class FaultingLinuxApi : public LinuxApiIF {
public:
    FaultingLinuxApi(Shared plan, std::unique_ptr<LinuxApiIF> inner) : plan(std::move(plan)), inner(std::move(inner)) {}

    int ioctl(int fd, unsigned long request, char* arg) override {
        ethtool_eeprom* eeprom = EepromOf(request, arg);
        const bool read = eeprom != nullptr && eeprom->cmd == ETHTOOL_GEEPROM;
        std::string what = RequestName(request);
        if (eeprom != nullptr) {
            what += (read ? " read " : " write ") + std::to_string(eeprom->offset) + "+" + std::to_string(eeprom->len);
        }
        const auto failure = plan->Record({EffectKind::Ioctl, what, {}, read});
        if (failure == Failure::IoError || failure == Failure::NotSupported) {
            errno = failure == Failure::IoError ? EIO : EOPNOTSUPP;
            return -1;
        }
        const int result = inner->ioctl(fd, request, arg);
        if (result == 0 && read && failure) {
            auto* data = reinterpret_cast<unsigned char*>(eeprom + 1);
            const std::uint32_t asked = eeprom->len;
            if (failure == Failure::ShortTransfer) {
                eeprom->len = asked / 2;
                std::memset(data + eeprom->len, 0, asked - eeprom->len);
            } else {
                for (std::uint32_t i = 0; i < asked; ++i) {
                    data[i] ^= 0x5a;
                }
            }
        }
        return result;
    }

private:
    Shared plan;
    std::unique_ptr<LinuxApiIF> inner;
};

int ErrnoOf(Failure failure) {
    switch (failure) {
        case Failure::NoSuchFile: return ENOENT;
        case Failure::AccessDenied: return EACCES;
        case Failure::DiskFull: return ENOSPC;
        default: return EIO;
    }
}

std::string NameOf(const char* path) {
    const std::string whole = path == nullptr ? std::string() : std::string(path);
    return whole.substr(whole.rfind('/') + 1);
}

// The file an open descriptor reaches, by its name in /proc.
std::string NameOf(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return "descriptor " + std::to_string(fd);
    }
    target[length] = '\0';
    return NameOf(target);
}

// Every file call numbered; the planned one fails with its errno, or, for a
// short write, moves half of what was asked.
std::shared_ptr<const FileCalls> FaultingFileCalls(Shared plan, std::shared_ptr<const FileCalls> inner) {
    auto calls = std::make_shared<FileCalls>();
    calls->open = [plan, inner](const char* path, int flags, mode_t mode) {
        const bool writing = (flags & O_ACCMODE) != O_RDONLY;
        const std::string how = (flags & O_CREAT) != 0 ? kCreate : writing ? "open for writing " : "open ";
        if (const auto failure = plan->Record({EffectKind::FileOpen, how + NameOf(path), {}, false})) {
            errno = ErrnoOf(*failure);
            return -1;
        }
        return inner->open(path, flags, mode);
    };
    calls->read = [plan, inner](int fd, void* buffer, std::size_t size) -> ssize_t {
        if (const auto failure = plan->Record({EffectKind::FileRead, "read " + NameOf(fd), {}, false})) {
            errno = ErrnoOf(*failure);
            return -1;
        }
        return inner->read(fd, buffer, size);
    };
    // The size a write may move, or none when it is to fail.
    const auto writeSize = [plan](const std::string& what, std::size_t size) -> std::optional<std::size_t> {
        const auto failure = plan->Record({EffectKind::FileWrite, what, {}, false});
        if (!failure) {
            return size;
        }
        if (failure == Failure::ShortWrite) {
            return std::max<std::size_t>(1, size / 2);
        }
        errno = ErrnoOf(*failure);
        return std::nullopt;
    };
    calls->write = [inner, writeSize](int fd, const void* data, std::size_t size) -> ssize_t {
        const auto allowed = writeSize("write " + NameOf(fd), size);
        return allowed ? inner->write(fd, data, std::min(size, *allowed)) : -1;
    };
    calls->copyFileRange = [inner, writeSize](int in, loff_t* inOffset, int out, std::size_t size) -> ssize_t {
        const auto allowed = writeSize("copy into " + NameOf(out), size);
        return allowed ? inner->copyFileRange(in, inOffset, out, std::min(size, *allowed)) : -1;
    };
    calls->splice = [inner, writeSize](int in, int out, std::size_t size) -> ssize_t {
        const auto allowed = writeSize("splice into " + NameOf(out), size);
        return allowed ? inner->splice(in, out, std::min(size, *allowed)) : -1;
    };
    calls->rename = [plan, inner](const char* from, const char* to) {
        if (const auto failure = plan->Record({EffectKind::FileRename, "rename to " + NameOf(to), {}, false})) {
            errno = ErrnoOf(*failure);
            return -1;
        }
        return inner->rename(from, to);
    };
    calls->unlink = [plan, inner](const char* path) {
        if (const auto failure = plan->Record({EffectKind::FileRemove, "remove " + NameOf(path), {}, false})) {
            errno = ErrnoOf(*failure);
            return -1;
        }
        return inner->unlink(path);
    };
    calls->mkfifo = [plan, inner](const char* path, mode_t mode) {
        const std::string what = std::string(kCreate) + "pipe " + NameOf(path);
        if (const auto failure = plan->Record({EffectKind::FileOpen, what, {}, false})) {
            errno = ErrnoOf(*failure);
            return -1;
        }
        return inner->mkfifo(path, mode);
    };
    return calls;
}

}  // namespace

FaultPlan::FaultPlan() : state(std::make_shared<State>()) {}

void FaultPlan::Apply(ProtocolEnvironment& environment, const std::shared_ptr<InMemoryNetwork>& network) const {
    const Shared plan = state;
    if (network) {
        environment.transport.makeHttpClient = [plan, network](const HttpClientOptions& options) {
            return network->MakeClient(options, [plan](const RawRequest& request) -> std::optional<RawReply> {
                const auto failure =
                    plan->Record({EffectKind::HttpExchange, request.method + " " + request.target, {}, false});
                if (!failure) {
                    return std::nullopt;
                }
                return ReplyFor(*failure);
            });
        };
    }
    environment.transport.makeHttpServer = [plan, make = environment.transport.makeHttpServer](
                                               const HttpServerOptions& options) -> std::unique_ptr<HttpServerIF> {
        return std::make_unique<FaultingServer>(plan, make(options),
                                                options.address + ":" + std::to_string(options.port));
    };
    environment.transport.openDiscoverySocket = [plan, open = environment.transport.openDiscoverySocket](
                                                    const std::string& interfaceName,
                                                    std::uint16_t port) -> std::unique_ptr<DatagramSocketIF> {
        const std::string where = interfaceName + ":" + std::to_string(port);
        if (plan->Record({EffectKind::SocketOpen, "discovery socket " + where, {}, false})) {
            throw DatagramSocketError("cannot bind to " + where + ": No such device");
        }
        return std::make_unique<FaultingSocket>(plan, open(interfaceName, port));
    };

    environment.files.calls = FaultingFileCalls(plan, environment.files.calls);

    SystemEnvironment& system = environment.system;
    system.makeLinuxApi = [plan, make = system.makeLinuxApi]() -> std::unique_ptr<LinuxApiIF> {
        return std::make_unique<FaultingLinuxApi>(plan, make());
    };
    system.openIoctlSocket = [plan, open = system.openIoctlSocket]() {
        if (plan->Record({EffectKind::SocketOpen, "ioctl socket", {}, false})) {
            return FileDescriptor();
        }
        return open();
    };
    system.sleep = [plan, sleep = system.sleep](std::chrono::nanoseconds interval) {
        plan->Record(
            {EffectKind::Sleep,
             "sleep " + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(interval).count()) + " ms",
             {},
             false});
        sleep(interval);
    };
    if (system.interfaceMac) {
        system.interfaceMac = [plan, query = system.interfaceMac](std::string_view name) {
            if (plan->Record({EffectKind::InterfaceQuery, "MAC of " + std::string(name), {}, false})) {
                return std::vector<std::byte>{};
            }
            return query(name);
        };
    }
    if (system.interfaceUp) {
        system.interfaceUp = [plan, query = system.interfaceUp](std::string_view name) {
            if (plan->Record({EffectKind::InterfaceQuery, "state of " + std::string(name), {}, false})) {
                return false;
            }
            return query(name);
        };
    }
    if (system.interfaceIp) {
        system.interfaceIp = [plan, query = system.interfaceIp](std::string_view name) {
            if (plan->Record({EffectKind::InterfaceQuery, "address of " + std::string(name), {}, false})) {
                return std::string();
            }
            return query(name);
        };
    }
    if (system.pruneProvisionFile) {
        system.pruneProvisionFile = [plan, prune = system.pruneProvisionFile](std::string_view file,
                                                                              std::string_view copy) {
            plan->Record({EffectKind::ConnectionManager, "prune " + std::string(file), {}, false});
            prune(file, copy);
        };
    }
    if (system.toggleConnection) {
        system.toggleConnection = [plan, toggle = system.toggleConnection](connman::ConnectionType type, bool enable) {
            if (plan->Record(
                    {EffectKind::ConnectionManager,
                     std::string(kToggle) + " " + std::to_string(static_cast<int>(type)) + (enable ? " up" : " down"),
                     {},
                     false})) {
                return connman::ToggleResult{false, "the connection manager has no such service"};
            }
            return toggle(type, enable);
        };
    }
}

void FaultPlan::FailAt(std::size_t number, Failure failure) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->failAt = number;
    state->failure = failure;
}

void FaultPlan::FailFrom(std::size_t number) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->failFrom = number;
}

void FaultPlan::Heal() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->failAt = 0;
    state->failFrom = 0;
}

void FaultPlan::Reset() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->effects.clear();
    state->struck.clear();
    state->failAt = 0;
    state->failFrom = 0;
}

void FaultPlan::Operation(const std::string& name) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->operation = name;
}

std::vector<Effect> FaultPlan::Effects() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->effects;
}

std::size_t FaultPlan::Count() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->effects.size();
}

std::vector<std::pair<std::size_t, Effect>> FaultPlan::Struck() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->struck;
}

}  // namespace tvo::DockSim
