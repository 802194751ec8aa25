#include "TestSupport/TestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <mutex>
#include <set>
#include <utility>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

extern char** environ;

namespace tvo {
namespace {

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Closes the socket on every path out of FreePort.
class SocketGuard {
public:
    explicit SocketGuard(int fd) : fd(fd) {}
    ~SocketGuard() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;
    int get() const { return fd; }
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};

// The sockets that hold the TCP ports handed out, open until the process ends.
std::mutex heldMutex;
std::vector<int> heldPorts;
std::size_t nextReuse = 0;
// A process that asks for more ports than this (a long soak over loopback)
// gets held ones again, the longest unused first, so that it does not hold
// a port for every server it ever started.
constexpr std::size_t kHeldPortsAtMost = 128;

int PortOf(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return 0;
    }
    return ntohs(addr.sin_port);
}

// Whether nothing of this process listens on the held port now: a second
// socket may bind it beside the holder only then.
bool NobodyListensOn(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    const int yes = 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool free = ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                      ::bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(probe);
    return free;
}

// A held port nothing listens on, when the process holds its fill of them.
int ReusedPort() {
    std::lock_guard<std::mutex> lock(heldMutex);
    if (heldPorts.size() < kHeldPortsAtMost) {
        return 0;
    }
    for (std::size_t tried = 0; tried < heldPorts.size(); ++tried) {
        const int port = PortOf(heldPorts[nextReuse]);
        nextReuse = (nextReuse + 1) % heldPorts.size();
        if (port != 0 && NobodyListensOn(port)) {
            return port;
        }
    }
    return 0;
}

int FreePort(int type, bool hold) {
    SocketGuard sock(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    if (sock.get() < 0) {
        throw SystemError("socket");
    }
    if (hold) {
        const int yes = 1;
        if (::setsockopt(sock.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0) {
            throw SystemError("SO_REUSEADDR");
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        throw SystemError("bind 127.0.0.1:0");
    }
    socklen_t len = sizeof addr;
    if (::getsockname(sock.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw SystemError("getsockname");
    }
    if (hold) {
        std::lock_guard<std::mutex> lock(heldMutex);
        heldPorts.push_back(sock.release());
    }
    return ntohs(addr.sin_port);
}

}  // namespace

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& parent) {
    std::string pattern = (parent / "pmx-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw SystemError("mkdtemp " + pattern);
    }
    dir = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

int FreeTcpPort() {
    const int reused = ReusedPort();
    return reused != 0 ? reused : FreePort(SOCK_STREAM, true);
}

int FreeUdpPort() {
    return FreePort(SOCK_DGRAM, false);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path.string() + " for reading");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

FifoReader::FifoReader(std::filesystem::path path, ChunkHandler onChunk, std::chrono::milliseconds limit)
    : path(std::move(path)), onChunk(std::move(onChunk)), limit(limit), thread([this] { Run(); }) {}

FifoReader::~FifoReader() {
    Finish();
}

void FifoReader::Finish() {
    finished = true;
    if (thread.joinable()) {
        thread.join();
    }
}

void FifoReader::Run() {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto isFifo = [this](struct stat& facts) {
        return ::stat(path.c_str(), &facts) == 0 && S_ISFIFO(facts.st_mode);
    };
    struct stat named {};
    // Non-blocking, so that a writer that never comes cannot hold the reader
    // past its limit; poll() says when there is something to read. A pipe
    // that the writer replaces between the look and the open is looked for
    // again.
    int fd = -1;
    while (fd < 0) {
        if (finished || std::chrono::steady_clock::now() > deadline) {
            return;
        }
        if (isFifo(named)) {
            fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::vector<char> chunk(256 * 1024);
    bool written = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (fd < 0) {
            // The pipe was replaced, and its successor is not there yet.
            fd = isFifo(named) ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
            if (fd < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
        }
        pollfd watched{fd, POLLIN, 0};
        // Until the writer has written, look often: it may be waiting on a
        // pipe made anew at the same path, which this reader must reopen.
        if (::poll(&watched, 1, written ? 50 : 1) == 0) {
            if (finished) {
                // The writer may have written and closed between that look
                // and this check: only a second empty look ends the reading.
                pollfd last{fd, POLLIN, 0};
                if (::poll(&last, 1, 0) == 0) {
                    break;
                }
                continue;
            }
            struct stat held {};
            if (::fstat(fd, &held) == 0 && isFifo(named) &&
                (held.st_ino != named.st_ino || held.st_dev != named.st_dev)) {
                ::close(fd);
                fd = -1;
            }
            continue;
        }
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
            written = true;
            if (!onChunk(std::string_view(chunk.data(), static_cast<std::size_t>(n)))) {
                break;
            }
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;  // the writer closed its end
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

std::size_t CountOccurrences(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++count;
    }
    return count;
}

InnerTestRun RunInNamespaces(const std::string& unshareOptions, const std::string& test, const std::string& emulator) {
    TempDir scratch;
    const std::string output = scratch.file("inner.log").string();
    // Under qemu-user /proc/<pid>/exe is the emulator; the link read from
    // inside is the test program itself.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = "exec unshare " + unshareOptions + " " + emulator + " " + self +
                                " --gtest_also_run_disabled_tests --gtest_filter=" + test + " >" + output + " 2>&1";
    std::vector<char*> argv{const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                            nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, "sh", nullptr, nullptr, argv.data(), environ) != 0) {
        throw SystemError("posix_spawnp sh");
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    InnerTestRun run;
    run.printed = ReadFile(output);
    run.unavailable = run.printed.find("unshare failed") != std::string::npos;
    run.passed =
        WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.printed.find("[  PASSED  ] 1 test") != std::string::npos;
    return run;
}

std::set<std::string> DescriptorsAChildInherits() {
    // The child lists its own descriptors above standard error by what they
    // lead to ("socket:[123]", a path); a new socket has a new number.
    const char* script = "for f in /proc/$$/fd/*; do n=${f##*/}; [ \"$n\" -gt 2 ] && readlink \"$f\"; done; exit 0";
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw SystemError("pipe2");
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, "/bin/sh", &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string listing;
    char chunk[4096];
    for (ssize_t n; spawned == 0 && ((n = ::read(out[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR));) {
        listing.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    }
    ::close(out[0]);
    if (spawned != 0) {
        throw std::system_error(spawned, std::generic_category(), "posix_spawn /bin/sh");
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::set<std::string> targets;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        targets.insert(line);
    }
    return targets;
}

}  // namespace tvo
