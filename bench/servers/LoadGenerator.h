#pragma once
// Keep-alive HTTP load on loopback from plain sockets: cheap enough that the
// server, not the client, sets the pace.

#include <chrono>
#include <string>

namespace tvo::bench {

// PUTs body to target over connections sockets, each back to back, for
// duration after a short warm-up; the completed 200 replies per second.
// Negative when a reply was not 200.
double PutRate(int port, const std::string& target, const std::string& body, int connections,
               std::chrono::milliseconds duration);

}  // namespace tvo::bench
