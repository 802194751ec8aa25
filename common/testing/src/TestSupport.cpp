#include "TestSupport/TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

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

private:
    int fd;
};

int FreePort(int type) {
    SocketGuard sock(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    if (sock.get() < 0) {
        throw SystemError("socket");
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
    return ntohs(addr.sin_port);
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pmx-test-XXXXXX").string();
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

int FreeTcpPort() { return FreePort(SOCK_STREAM); }

int FreeUdpPort() { return FreePort(SOCK_DGRAM); }

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

std::size_t CountOccurrences(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace tvo
