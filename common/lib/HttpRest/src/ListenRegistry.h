#pragma once
// The addresses and ports that HttpServers of this process listen on.
// cpprestsdk lets a second listener on the same address and port fail in a
// way that also closes the first one's socket, so a clash is refused before
// cpprestsdk sees it.

#include <string>

namespace tvo {

class ListenRegistry {
public:
    // Records host:port. Throws std::runtime_error when it clashes with an
    // entry: same port and the same host, or either host a wildcard.
    static void Claim(const std::string& host, int port);
    static void Release(const std::string& host, int port);
};

}  // namespace tvo
