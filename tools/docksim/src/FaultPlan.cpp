// The fault plan's wrappers: each one numbers its effect, and gives the
// failure planned for that number instead of (or on top of) the real thing.

#include <DockSim/FaultPlan.h>

#include <Common/DatagramSocket.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>

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
    }
    return "?";
}

namespace {
// Only bringing a connection up answers; pruning a file answers nothing.
constexpr const char* kToggle = "toggle";
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
    }
    return {};
}

Failure LinkGone(const Effect& effect) {
    switch (effect.kind) {
        case EffectKind::HttpExchange: return Failure::Refused;
        case EffectKind::HttpListen: return Failure::AddressInUse;
        case EffectKind::SocketOpen: return Failure::OpenFails;
        case EffectKind::DatagramReceive: return Failure::Silence;
        case EffectKind::Ioctl: return Failure::IoError;
        case EffectKind::InterfaceQuery: return Failure::Unreadable;
        case EffectKind::ConnectionManager: return Failure::Refusal;
        case EffectKind::Sleep: break;
    }
    return Failure::Refused;
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
        } else if (failFrom != 0 && number >= failFrom && !possible.empty()) {
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
