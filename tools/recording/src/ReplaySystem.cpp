// The recorded dock on the system seam: ioctls answered with the recorded
// bytes, interface queries and the connection manager with their recorded
// answers, and a clock that only moves when the protocol sleeps.

#include "ReplaySystem.h"

#include <Common/LinuxApi.h>

#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>

#include <cerrno>
#include <cstring>

namespace tvo::Recording {

std::size_t EthtoolBufferSize(const char* buffer);  // as the recorder measures it

namespace {

using web::json::value;

class ReplayLinuxApi : public LinuxApiIF {
public:
    explicit ReplayLinuxApi(std::shared_ptr<Script> script) : script(std::move(script)) {}

    int ioctl(int, unsigned long request, char* arg) override {
        const auto next = script->NextIoctl();
        if (!arg || !next) {
            if (arg) {
                script->Differ(SIZE_MAX, "the camera made an ioctl after the last recorded one");
            }
            errno = EIO;
            return -1;
        }
        const value& event = next->event;
        ifreq req;
        std::memcpy(&req, arg, sizeof req);
        const bool ethtool = request == SIOCETHTOOL && req.ifr_data;
        char* buffer = ethtool ? req.ifr_data : arg + offsetof(ifreq, ifr_ifru);
        const std::size_t size = ethtool ? EthtoolBufferSize(buffer) : sizeof req.ifr_ifru;
        // The camera must ask what it asked then: same request, same command
        // and range, same bytes going in.
        std::string in;
        std::string out;
        const bool readable = FromHex(StringField(event, "in"), in) && FromHex(StringField(event, "out"), out);
        if (!readable || in.size() != size || out.size() != size || in != std::string(buffer, size)) {
            script->Differ(next->index, "ioctl: the camera asked " +
                                            Hex(std::string(buffer, std::min<std::size_t>(size, 16))) +
                                            "..., the recording has " + StringField(event, "request") + " " +
                                            StringField(event, "cmd"));
            errno = EIO;
            return -1;
        }
        std::memcpy(buffer, out.data(), size);
        const int result = static_cast<int>(IntField(event, "result"));
        errno = static_cast<int>(IntField(event, "errno"));
        return result;
    }

private:
    std::shared_ptr<Script> script;
};

}  // namespace

void ReplaySystem(SystemEnvironment& system, const std::shared_ptr<Script>& script,
                  const std::shared_ptr<VirtualTime>& time) {
    system.makeLinuxApi = [script]() -> std::unique_ptr<LinuxApiIF> {
        return std::make_unique<ReplayLinuxApi>(script);
    };
    system.openIoctlSocket = [] { return FileDescriptor(::open("/dev/null", O_RDONLY | O_CLOEXEC)); };
    system.sleep = [time](std::chrono::nanoseconds interval) { time->Sleep(interval); };
    system.now = [time] { return time->Now(); };
    system.interfaceMac = [script](std::string_view) {
        const value answer = script->InterfaceAnswer("mac");
        std::vector<std::byte> mac;
        std::string bytes;
        std::string hex;
        for (const char c : answer.is_string() ? answer.as_string() : std::string()) {
            if (c != ':') {
                hex += c;
            }
        }
        if (FromHex(hex, bytes)) {
            for (const char c : bytes) {
                mac.push_back(static_cast<std::byte>(c));
            }
        }
        return mac;
    };
    system.interfaceUp = [script](std::string_view) {
        const value answer = script->InterfaceAnswer("up");
        return answer.is_boolean() && answer.as_bool();
    };
    system.interfaceIp = [script](std::string_view) {
        const value answer = script->InterfaceAnswer("ip");
        return answer.is_string() ? answer.as_string() : std::string();
    };
    system.pruneProvisionFile = [](std::string_view, std::string_view) {};
    system.toggleConnection = [script](connman::ConnectionType, bool) {
        connman::ToggleResult result{true, ""};
        if (const auto recorded = script->Next("toggle")) {
            if (const auto* outcome = Field(recorded->event, "result")) {
                result.success = BoolField(*outcome, "ok", true);
                result.error = StringField(*outcome, "error");
            }
        }
        return result;
    };
}

}  // namespace tvo::Recording
