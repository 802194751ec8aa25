#pragma once
// The servers that the server benchmark compares, each started alone in a
// process of its own: our Velta and Oskin dispatch, a bare cpprestsdk
// listener (its default pool, or two threads) and a minimal one-thread Beast
// server. Each answers a JSON PUT by parsing it and replying.

#include <memory>
#include <string>
#include <vector>

namespace tvo::bench {

struct ServerKind {
    std::string name;
    std::string target;  // what the load generator PUTs to
    std::string body;
};

const std::vector<ServerKind>& ServerKinds();

// Starts the named server on the loopback port; it serves until the result
// is destroyed. Throws std::runtime_error for an unknown name or a failed start.
std::shared_ptr<void> StartServer(const std::string& name, int port);

}  // namespace tvo::bench
