#pragma once
// A hand-made HTTP peer that connects to a loopback port and behaves as a
// hostile dock might: sends half a request, floods, pipelines, stalls.

#include <chrono>
#include <cstddef>
#include <string>

namespace tvo::test {

class RawClient {
public:
    explicit RawClient(int port);  // throws std::runtime_error
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // Sends all of text; false when the peer closed or reset meanwhile.
    bool Send(const std::string& text);
    // Sends bytes of 'x' in large writes until done or the peer stops taking them.
    std::size_t SendFiller(std::size_t bytes);
    // What arrives until the peer closes or nothing comes for within.
    std::string Receive(std::chrono::milliseconds within);
    // Reads until text holds n complete replies (head and Content-Length body).
    std::string ReceiveReplies(std::size_t n, std::chrono::milliseconds within);
    // True when the peer closes (or resets) the connection before within.
    bool ClosedWithin(std::chrono::milliseconds within);

private:
    int fd = -1;
};

// Sanitizers' shadow memory grows with what a test touches: memory bounds
// get more slack under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kMemorySlackFactor = 4;
#else
constexpr std::size_t kMemorySlackFactor = 1;
#endif

// Resident memory, open descriptors and threads of this process.
std::size_t ResidentKiB();
std::size_t OpenDescriptors();
std::size_t Threads();

// Writes all of text to a socket; false when the peer has gone.
bool SendAll(int fd, const std::string& text);

}  // namespace tvo::test
