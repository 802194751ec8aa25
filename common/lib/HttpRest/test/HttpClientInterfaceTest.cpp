// A client bound to an interface never leaves by another, whichever of the
// host's addresses it reaches. The scenario needs links and routes of its
// own: the test starts itself again in private network and mount namespaces,
// with two links to a dock in a third network. The dock's name has two
// addresses: the first refuses (so the second attempt is the one that
// counts), the second is routed by the other link; the dock's server says
// which source address each connection came from.

#include <gtest/gtest.h>

#include <netdb.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "HttpRest/HttpClient.h"
#include "RawClient.h"
#include "RawServer.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

const char* kInner = "HttpClientInterface.DISABLED_InPrivateNetwork";

ino_t NetworkNamespace(const std::string& pid) {
    struct stat info {};
    return ::stat(("/proc/" + pid + "/ns/net").c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(HttpClientInterface, EveryConnectionAttemptLeavesByTheNamedInterface) {
    const InnerTestRun inner = RunInNamespaces("--net --mount --propagation private", kInner, PMX_TEST_EMULATOR);
    if (inner.unavailable) {
        GTEST_SKIP() << "no private namespaces here: " << inner.printed;
    }
    EXPECT_TRUE(inner.passed) << inner.printed;
}

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The addresses the system resolves name to, in its order.
std::vector<std::string> Addresses(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::vector<std::string> found;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &list) == 0) {
        for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr, text, sizeof text);
            found.emplace_back(text);
        }
        ::freeaddrinfo(list);
    }
    return found;
}

// The dock: a network of its own, made by a thread of this process, holding
// the far ends of both links and a server on the second address.
class Dock {
public:
    Dock() {
        std::promise<pid_t> made;
        auto madeFuture = made.get_future();
        thread = std::thread([this, &made] {
            if (::unshare(CLONE_NEWNET) != 0) {
                made.set_value(-1);
                return;
            }
            made.set_value(static_cast<pid_t>(::syscall(SYS_gettid)));
            configure.get_future().wait();
            // Commands started from this thread run in its network.
            const bool ready = Shell("ip link set lo up") && Shell("ip addr add 10.77.1.1/24 dev base0") &&
                               Shell("ip link set base0 up") && Shell("ip addr add 10.77.2.1/24 dev otherpeer") &&
                               Shell("ip link set otherpeer up");
            if (ready) {
                server = std::make_unique<test::RawServer>(
                    [](int fd, const std::string&) {
                        test::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
                        return false;
                    },
                    "10.77.2.1");
            }
            serving.set_value(ready);
            finish.get_future().wait();
            server.reset();
        });
        task = madeFuture.get();
    }
    ~Dock() {
        try {
            configure.set_value();  // a test that stopped early never did
        } catch (const std::future_error&) {
        }
        finish.set_value();
        thread.join();
    }
    pid_t Task() const { return task; }
    bool Configure() {
        configure.set_value();
        return serving.get_future().get();
    }
    int Port() const { return server->Port(); }
    std::string LastPeer() const { return server->LastPeer(); }

private:
    pid_t task = -1;
    std::promise<void> configure;
    std::promise<bool> serving;
    std::promise<void> finish;
    std::unique_ptr<test::RawServer> server;
    std::thread thread;
};

std::string Outcome(HttpClient& client) {
    try {
        return "status " + std::to_string(client.request("GET", "/", "").get().status_code());
    } catch (const std::exception& e) {
        return std::string("threw: ") + e.what();
    }
}

// Run only by the test above, inside the namespaces it made.
TEST(HttpClientInterface, DISABLED_InPrivateNetwork) {
    // Never change the machine's own links or hosts file.
    ASSERT_NE(NetworkNamespace("self"), NetworkNamespace(std::to_string(::getppid())))
        << "run only through HttpClientInterface.EveryConnectionAttemptLeavesByTheNamedInterface";
    // Replies come back by the link they went out by, whatever the routes say.
    WriteFile("/proc/sys/net/ipv4/conf/all/rp_filter", "0\n");
    WriteFile("/proc/sys/net/ipv4/conf/default/rp_filter", "0\n");
    ASSERT_TRUE(Shell("ip link set lo up"));
    ASSERT_TRUE(Shell("ip link add usb0 type veth peer name base0") &&
                Shell("ip link add other0 type veth peer name otherpeer"));
    Dock dock;
    ASSERT_GT(dock.Task(), 0) << "no network for the dock";
    const std::string there = " netns " + std::to_string(dock.Task());
    ASSERT_TRUE(Shell("ip link set base0" + there) && Shell("ip link set otherpeer" + there));
    ASSERT_TRUE(Shell("ip addr add 10.77.1.2/24 dev usb0") && Shell("ip link set usb0 up") &&
                Shell("ip addr add 10.77.2.2/24 dev other0") && Shell("ip link set other0 up"));
    ASSERT_TRUE(dock.Configure());

    TempDir scratch;
    const std::string hosts = scratch.file("hosts").string();
    WriteFile(hosts, "127.0.0.1\tlocalhost\n10.77.1.1\tdock.test\n10.77.2.1\tdock.test\n");
    ASSERT_EQ(::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(Addresses("dock.test"), (std::vector<std::string>{"10.77.1.1", "10.77.2.1"}));

    const std::string address = "http://dock.test:" + std::to_string(dock.Port());
    // Unbound, the second attempt takes the route: by other0.
    HttpClient routed("usb0", false, "", nullptr, address, std::chrono::seconds(5), nullptr, false);
    EXPECT_EQ(Outcome(routed), "status 200");
    EXPECT_EQ(dock.LastPeer(), "10.77.2.2");
    // Bound, it leaves by usb0 all the same.
    HttpClient bound("usb0", true, "", nullptr, address, std::chrono::seconds(5), nullptr, false);
    EXPECT_EQ(Outcome(bound), "status 200");
    EXPECT_EQ(dock.LastPeer(), "10.77.1.2");

    // A name that no one knows: the resolver (a private one on loopback, where
    // nothing answers) says so, and the request fails saying which name.
    if (std::filesystem::exists("/etc/resolv.conf")) {
        const std::string resolver = scratch.file("resolv.conf").string();
        WriteFile(resolver, "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");
        ASSERT_EQ(::mount(resolver.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr), 0);
    }
    HttpClient unknown(nullptr, "http://no-such-dock.test:80", std::chrono::seconds(5), nullptr);
    const std::string failed = Outcome(unknown);
    EXPECT_NE(failed.find("cannot resolve no-such-dock.test"), std::string::npos) << failed;
}

}  // namespace
}  // namespace tvo
