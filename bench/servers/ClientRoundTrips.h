#pragma once
// Outbound round trips: one client, one kept-alive connection, a small JSON
// PUT answered by the one-thread Beast server, back to back. Ours against
// cpprestsdk's own http_client on the same two-thread pool.

#include <chrono>
#include <string>
#include <vector>

namespace tvo::bench {

// "ours", "cpprest-2".
const std::vector<std::string>& ClientKinds();

// Completed round trips per second (each reply's body read) for duration
// after a short warm-up; negative when a reply was not the expected one.
double RoundTripRate(const std::string& kind, int port, const std::string& target, const std::string& body,
                     std::chrono::milliseconds duration);

}  // namespace tvo::bench
