#pragma once
// One request of an HttpClient on the wire: resolve, connect (every attempt
// bound to the named interface), send, read the reply as it arrives and hand
// it to a sink. Its I/O runs on the cpprestsdk pool's io_context through a
// strand; Abort may come from any thread and takes effect at once.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>

#include "ClientTarget.h"
#include "ReplyReader.h"

namespace tvo {

class ClientConnections;

class ClientExchange : public std::enable_shared_from_this<ClientExchange> {
public:
    struct Settings {
        ClientTarget target;
        std::string request;      // the whole text
        std::string description;  // "PUT http://host/x", for messages
        std::chrono::milliseconds limit{30000};
        std::string interfaceName;  // every connection is bound to it when not empty
        std::size_t maxBody = 0;
        std::size_t readChunk = std::size_t{32} * 1024;
    };

    ClientExchange(boost::asio::io_context& io, Settings settings, std::unique_ptr<ReplySink> sink,
                   std::shared_ptr<ClientConnections> connections);
    ~ClientExchange();
    ClientExchange(const ClientExchange&) = delete;
    ClientExchange& operator=(const ClientExchange&) = delete;

    // Sends the request: on the caller's thread as far as it goes without
    // waiting (a kept connection takes the request at once), then on the
    // strand.
    void Start();
    // Ends the exchange with why (unless it has ended), closes its socket at
    // once and lets its handlers wind down. Any thread.
    void Abort(std::exception_ptr why);
    bool Ended() const { return ended.load(std::memory_order_acquire); }

    // When the exchange times out: the limit after the start for the headers,
    // then after each piece of the body. Any thread.
    std::chrono::steady_clock::time_point Deadline() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(deadline.load(std::memory_order_acquire)));
    }
    // Ends the exchange as timed out; for the deadline watch.
    void TimeOut();

private:
    using error_code = boost::system::error_code;
    using tcp = boost::asio::ip::tcp;

    void Begin();
    void MoveDeadline();
    void Resolved(std::vector<tcp::endpoint> found, std::string error);
    void Connect(std::size_t index);
    void Connected(std::size_t index, const error_code& ec);
    void Send();
    void Sent(const error_code& ec);
    void Read();
    void ReadDone(const error_code& ec, std::size_t n);
    void Went(ReplyReader::Progress progress);
    void SpliceBody(std::uint64_t left);
    void Splice();
    bool RetryOnFreshConnection();
    void Complete();
    void Fail(std::exception_ptr why);
    void Close();
    void CloseSocket();
    void Lookup();
    std::exception_ptr TransportError(const std::string& what) const;

    boost::asio::io_context& io;
    const Settings settings;
    const std::unique_ptr<ReplySink> sink;
    const std::shared_ptr<ClientConnections> connections;

    // From here to the atomics: the strand's alone.
    boost::asio::strand<boost::asio::io_context::executor_type> strand;
    tcp::socket socket;
    std::vector<tcp::endpoint> endpoints;
    std::string connectErrors;
    bool reused = false;
    bool retried = false;
    ReplyReader reader;
    // Moves a body of declared length from the socket into the sink's file.
    int pipeEnds[2] = {-1, -1};
    std::uint64_t spliceLeft = 0;

    std::atomic<bool> ended{false};
    std::atomic<bool> inBody{false};
    std::atomic<std::chrono::steady_clock::rep> deadline{0};
    // Held while Start works on the caller's thread; Close takes it, so that
    // an Abort from elsewhere cannot close the socket under that work.
    std::recursive_mutex startMutex;
    // The socket's descriptor while open, for Abort to shut down from another thread.
    std::mutex descriptorMutex;
    int descriptor = -1;
};

}  // namespace tvo
