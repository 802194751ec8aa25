// The recorder on the system seam: ioctls with their bytes, interface
// queries, the connection manager, and the hosts file's changes.

#include "RecordingWrappers.h"

#include <Common/FileCalls.h>
#include <Common/LinuxApi.h>

#include <linux/ethtool.h>
#include <linux/mii.h>
#include <linux/sockios.h>
#include <net/if.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace tvo::Recording {
namespace {

using web::json::value;
using State = Recorder::State;

std::string RequestName(unsigned long request) {
    switch (request) {
        case SIOCETHTOOL: return "SIOCETHTOOL";
        case SIOCGMIIPHY: return "SIOCGMIIPHY";
        case SIOCGMIIREG: return "SIOCGMIIREG";
        case SIOCSMIIREG: return "SIOCSMIIREG";
        case SIOCGIFHWADDR: return "SIOCGIFHWADDR";
        case SIOCGIFFLAGS: return "SIOCGIFFLAGS";
        case SIOCGIFADDR: return "SIOCGIFADDR";
        default: return std::to_string(request);
    }
}

std::string EthtoolName(std::uint32_t command) {
    switch (command) {
        case ETHTOOL_GDRVINFO: return "ETHTOOL_GDRVINFO";
        case ETHTOOL_GEEPROM: return "ETHTOOL_GEEPROM";
        case ETHTOOL_SEEPROM: return "ETHTOOL_SEEPROM";
        default: return std::to_string(command);
    }
}

}  // namespace

// How many bytes an ethtool command's buffer holds, from its first bytes;
// an EEPROM transfer is bounded as the drivers bound it.
std::size_t EthtoolBufferSize(const char* buffer) {
    std::uint32_t command = 0;
    std::memcpy(&command, buffer, sizeof command);
    if (command == ETHTOOL_GDRVINFO) {
        return sizeof(ethtool_drvinfo);
    }
    if (command == ETHTOOL_GEEPROM || command == ETHTOOL_SEEPROM) {
        ethtool_eeprom header;
        std::memcpy(&header, buffer, sizeof header);
        return sizeof header + std::min<std::size_t>(header.len, 64 * 1024);
    }
    return sizeof(ethtool_value);
}

namespace {

class RecordingLinuxApi : public LinuxApiIF {
public:
    RecordingLinuxApi(std::unique_ptr<LinuxApiIF> inner, std::shared_ptr<State> state)
        : inner(std::move(inner)), state(std::move(state)) {}

    int ioctl(int fd, unsigned long request, char* arg) override {
        if (!arg) {
            return inner->ioctl(fd, request, arg);
        }
        ifreq before;
        std::memcpy(&before, arg, sizeof before);
        value event = value::object(true);
        event["kind"] = value::string("ioctl");
        event["request"] = value::string(RequestName(request));
        event["interface"] = value::string(std::string(before.ifr_name, strnlen(before.ifr_name, IFNAMSIZ)));
        // The bytes that cross: the ethtool buffer, or the request's own union.
        const bool ethtool = request == SIOCETHTOOL && before.ifr_data;
        char* buffer = ethtool ? before.ifr_data : arg + offsetof(ifreq, ifr_ifru);
        const std::size_t size = ethtool ? EthtoolBufferSize(buffer) : sizeof before.ifr_ifru;
        const std::string in(buffer, size);
        if (ethtool) {
            std::uint32_t command = 0;
            std::memcpy(&command, buffer, sizeof command);
            event["cmd"] = value::string(EthtoolName(command));
            if (command == ETHTOOL_GEEPROM || command == ETHTOOL_SEEPROM) {
                ethtool_eeprom header;
                std::memcpy(&header, buffer, sizeof header);
                event["offset"] = value::number(header.offset);
                event["length"] = value::number(header.len);
            }
        }
        const int result = inner->ioctl(fd, request, arg);
        const int error = errno;
        event["in"] = value::string(Hex(in));
        event["out"] = value::string(Hex(std::string(buffer, size)));
        event["result"] = value::number(result);
        event["errno"] = value::number(result == 0 ? 0 : error);
        state->Emit(std::move(event));
        errno = error;
        return result;
    }

private:
    std::unique_ptr<LinuxApiIF> inner;
    std::shared_ptr<State> state;
};

std::string MacText(const std::vector<std::byte>& mac) {
    std::string text;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const std::string byte = Hex(std::string(1, static_cast<char>(mac[i])));
        text += (i ? ":" : "") + byte;
    }
    return text;
}

void EmitQuery(const std::shared_ptr<State>& state, const char* query, std::string_view name, value result) {
    value event = value::object(true);
    event["kind"] = value::string("interface");
    event["query"] = value::string(query);
    event["name"] = value::string(std::string(name));
    event["value"] = std::move(result);
    state->Emit(std::move(event));
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line) && lines.size() < 100000;) {
        lines.push_back(line);
    }
    return lines;
}

// Lines of b that a does not have, counted as a multiset.
value Missing(std::vector<std::string> a, std::vector<std::string> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> only;
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(only));
    value lines = value::array();
    for (std::size_t i = 0; i < only.size(); ++i) {
        lines[i] = value::string(only[i]);
    }
    return lines;
}

// Watches the writes and renames that reach the hosts file and records what
// each one changed.
class HostsWatch {
public:
    HostsWatch(std::string path, std::shared_ptr<State> state)
        : path(std::move(path)), state(std::move(state)), seen(Lines(this->path)) {}

    void Opened(const char* name, int flags, int fd) {
        if (fd >= 0 && name && path == name && (flags & (O_WRONLY | O_RDWR))) {
            MutexLock lock(mutex);
            writers.insert(fd);
        }
    }
    void Wrote(int fd) {
        bool watched = false;
        {
            MutexLock lock(mutex);
            watched = writers.count(fd) > 0;
        }
        if (watched) {
            Changed();
        }
    }
    void Renamed(const char* to) {
        if (to && path == to) {
            Changed();
        }
    }

private:
    void Changed() {
        const auto now = Lines(path);
        value event = value::object(true);
        {
            MutexLock lock(mutex);
            if (now == seen) {
                return;
            }
            event["kind"] = value::string("hosts");
            event["file"] = value::string(path);
            event["added"] = Missing(seen, now);
            event["removed"] = Missing(now, seen);
            seen = now;
        }
        state->Emit(std::move(event));
    }

    const std::string path;
    const std::shared_ptr<State> state;
    Mutex mutex;
    std::vector<std::string> seen PMX_GUARDED_BY(mutex);
    std::set<int> writers PMX_GUARDED_BY(mutex);
};

}  // namespace

void AttachSystem(SystemEnvironment& system, const std::shared_ptr<State>& state) {
    system.makeLinuxApi = [state, make = system.makeLinuxApi]() -> std::unique_ptr<LinuxApiIF> {
        return std::make_unique<RecordingLinuxApi>(make(), state);
    };
    if (system.interfaceMac) {
        system.interfaceMac = [state, query = system.interfaceMac](std::string_view name) {
            auto mac = query(name);
            EmitQuery(state, "mac", name, value::string(mac.empty() ? "unreadable" : MacText(mac)));
            return mac;
        };
    }
    if (system.interfaceUp) {
        system.interfaceUp = [state, query = system.interfaceUp](std::string_view name) {
            const bool up = query(name);
            EmitQuery(state, "up", name, value::boolean(up));
            return up;
        };
    }
    if (system.interfaceIp) {
        system.interfaceIp = [state, query = system.interfaceIp](std::string_view name) {
            auto ip = query(name);
            EmitQuery(state, "ip", name, value::string(ip));
            return ip;
        };
    }
    if (system.pruneProvisionFile) {
        system.pruneProvisionFile = [state, prune = system.pruneProvisionFile](std::string_view first,
                                                                               std::string_view second) {
            value event = value::object(true);
            event["kind"] = value::string("connman");
            event["call"] = value::string("prune");
            value args = value::array();
            args[0] = value::string(std::string(first));
            args[1] = value::string(std::string(second));
            event["args"] = std::move(args);
            state->Emit(std::move(event));
            prune(first, second);
        };
    }
    if (system.toggleConnection) {
        system.toggleConnection = [state, toggle = system.toggleConnection](connman::ConnectionType type, bool enable) {
            const auto result = toggle(type, enable);
            value event = value::object(true);
            event["kind"] = value::string("connman");
            event["call"] = value::string("toggle");
            value args = value::object(true);
            args["type"] = value::number(static_cast<int>(type));
            args["enable"] = value::boolean(enable);
            event["args"] = std::move(args);
            value outcome = value::object(true);
            outcome["ok"] = value::boolean(result.success);
            outcome["error"] = value::string(result.error);
            event["result"] = std::move(outcome);
            state->Emit(std::move(event));
            return result;
        };
    }
}

void AttachHostsFile(ProtocolEnvironment& environment, const std::shared_ptr<State>& state) {
    auto watch = std::make_shared<HostsWatch>(environment.pallix.hostsFile, state);
    const auto inner = environment.files.calls;
    auto calls = std::make_shared<FileCalls>(*inner);
    calls->open = [inner, watch](const char* path, int flags, mode_t mode) {
        const int fd = inner->open(path, flags, mode);
        watch->Opened(path, flags, fd);
        return fd;
    };
    calls->write = [inner, watch](int fd, const void* data, std::size_t size) {
        const ssize_t wrote = inner->write(fd, data, size);
        const int error = errno;
        watch->Wrote(fd);
        errno = error;
        return wrote;
    };
    calls->rename = [inner, watch](const char* from, const char* to) {
        const int result = inner->rename(from, to);
        const int error = errno;
        if (result == 0) {
            watch->Renamed(to);
        }
        errno = error;
        return result;
    };
    environment.files.calls = std::move(calls);
}

}  // namespace tvo::Recording
