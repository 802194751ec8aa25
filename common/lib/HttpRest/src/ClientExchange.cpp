#include "ClientExchange.h"

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <cpprest/http_msg.h>

#include "ClientConnections.h"
#include "DeadlineWatch.h"
#include "Logger/LogClient.h"

namespace tvo {
namespace {

using Clock = std::chrono::steady_clock;

// The pipe a spliced body goes through: the most an unprivileged process may
// ask for by default.
constexpr int kSplicePipe = 1024 * 1024;

std::exception_ptr HttpError(const std::string& text) {
    return std::make_exception_ptr(web::http::http_exception(text));
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

// The addresses of host:port in the resolver's order, with the hints that
// Asio's resolver uses by default. Blocking: run off the strand.
std::string LookUp(const std::string& host, const std::string& port,
                   std::vector<boost::asio::ip::tcp::endpoint>& found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    const std::unique_ptr<addrinfo, AddrInfoDeleter> owned(list);
    if (rc != 0) {
        return rc == EAI_SYSTEM ? std::strerror(errno)
                                : ::gai_strerror(rc);  // GCOVR_EXCL_LINE: only the first kind is seen here
    }
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        boost::asio::ip::tcp::endpoint endpoint;
        if (entry->ai_addrlen <= endpoint.capacity()) {
            std::memcpy(endpoint.data(), entry->ai_addr, entry->ai_addrlen);
            endpoint.resize(entry->ai_addrlen);
            found.push_back(endpoint);
        }
    }
    return found.empty() ? std::string("no address") : std::string();
}

}  // namespace

ClientExchange::ClientExchange(boost::asio::io_context& io, Settings settings, std::unique_ptr<ReplySink> sink,
                               std::shared_ptr<ClientConnections> connections)
    : io(io),
      settings(std::move(settings)),
      sink(std::move(sink)),
      connections(std::move(connections)),
      strand(boost::asio::make_strand(io)),
      socket(io),
      reader(*this->sink, this->settings.maxBody, this->settings.readChunk, this->settings.description) {}

ClientExchange::~ClientExchange() {
    for (const int end : pipeEnds) {
        if (end >= 0) {
            ::close(end);
        }
    }
}

void ClientExchange::Start() {
    MoveDeadline();
    DeadlineWatch::On(io).Watch(shared_from_this());
    // On this thread: saves the pool a wake-up for each request. No handler
    // of this exchange runs before the first operation is under way.
    std::lock_guard<std::recursive_mutex> lock(startMutex);
    Begin();
}

void ClientExchange::MoveDeadline() {
    deadline.store((Clock::now() + settings.limit).time_since_epoch().count(), std::memory_order_release);
}

void ClientExchange::TimeOut() {
    const std::string limit = std::to_string(settings.limit.count()) + " ms";
    Abort(HttpError(inBody.load(std::memory_order_acquire)
                        ? "reply body of " + settings.description + " stalled for " + limit
                        : settings.description + " timed out after " + limit));
}

void ClientExchange::Abort(std::exception_ptr why) {
    if (ended.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    try {
        sink->Failed(why);
    } catch (...) {  // GCOVR_EXCL_LINE: no sink of ours throws; the outcome is settled either way
    }
    {
        // Wakes the pending operation now, whoever runs the pool.
        std::lock_guard<std::mutex> lock(descriptorMutex);
        if (descriptor >= 0) {
            ::shutdown(descriptor, SHUT_RDWR);
        }
    }
    boost::asio::post(strand, [self = shared_from_this()] { self->Close(); });
}

void ClientExchange::Begin() {
    if (Ended()) {
        Close();
        return;
    }
    if (auto idle = connections->TakeIdle()) {
        socket = std::move(*idle);
        {
            std::lock_guard<std::mutex> lock(descriptorMutex);
            descriptor = socket.native_handle();
        }
        reused = true;
        Send();
        return;
    }
    Lookup();
}

void ClientExchange::Lookup() {
    if (settings.target.literal) {
        Resolved(
            {tcp::endpoint(*settings.target.literal, static_cast<unsigned short>(std::stoi(settings.target.port)))},
            std::string());
        return;
    }
    // On the pool, neither on the caller's thread nor on the strand: a slow
    // resolver holds up neither the caller nor a cancellation's close.
    boost::asio::post(io, [self = shared_from_this()] {
        std::vector<tcp::endpoint> found;
        std::string error = LookUp(self->settings.target.host, self->settings.target.port, found);
        boost::asio::post(self->strand, [self, found = std::move(found), error = std::move(error)]() mutable {
            self->Resolved(std::move(found), std::move(error));
        });
    });
}

void ClientExchange::Resolved(std::vector<tcp::endpoint> found, std::string error) {
    if (Ended()) {
        Close();
        return;
    }
    if (found.empty()) {
        Fail(HttpError("cannot resolve " + settings.target.host + ": " + error));
        return;
    }
    endpoints = std::move(found);
    connectErrors.clear();
    Connect(0);
}

void ClientExchange::Connect(std::size_t index) {
    if (Ended()) {
        Close();
        return;
    }
    if (index >= endpoints.size()) {
        Fail(HttpError("Failed to connect to " + settings.target.hostHeader + ": " + connectErrors));
        return;
    }
    const tcp::endpoint& endpoint = endpoints[index];
    // Opened here rather than by Asio: close-on-exec from the first moment,
    // and bound before this attempt connects, whichever attempt it is.
    const int fd = ::socket(endpoint.protocol().family(), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        Fail(HttpError(std::string("cannot open a socket: ") + std::strerror(errno)));
        return;
    }
    const std::string& device = settings.interfaceName;
    if (!device.empty() &&
        ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(), static_cast<socklen_t>(device.size())) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Cannot bind HTTP connection to interface " << device << ": " << reason;
        Fail(std::make_exception_ptr(
            std::runtime_error("cannot bind HTTP connection to interface " + device + ": " + reason)));
        return;
    }
    error_code ec;
    socket.assign(endpoint.protocol(), fd, ec);
    if (ec) {
        // GCOVR_EXCL_START: a socket just opened is always one Asio takes
        ::close(fd);
        Fail(HttpError("cannot use a socket: " + ec.message()));
        return;
        // GCOVR_EXCL_STOP
    }
    {
        std::lock_guard<std::mutex> lock(descriptorMutex);
        descriptor = fd;
    }
    socket.set_option(tcp::no_delay(true), ec);
    socket.async_connect(
        endpoint, boost::asio::bind_executor(strand, [self = shared_from_this(), index](const error_code& connected) {
            self->Connected(index, connected);
        }));
}

void ClientExchange::Connected(std::size_t index, const error_code& ec) {
    if (Ended()) {
        Close();
        return;
    }
    if (ec) {
        const tcp::endpoint& endpoint = endpoints[index];
        connectErrors += (connectErrors.empty() ? "" : "; ") + endpoint.address().to_string() + " " + ec.message();
        CloseSocket();
        Connect(index + 1);
        return;
    }
    Send();
}

void ClientExchange::Send() {
    reader.Reset();
    inBody.store(false, std::memory_order_release);
    // A request fits the socket's buffer nearly always: written here and now,
    // it needs no round through the pool. What does not fit goes by Asio.
    const std::string& text = settings.request;
    const ssize_t n = ::send(socket.native_handle(), text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        // GCOVR_EXCL_START: only a connection dropped between the idle check
        // and this write; it is retried as one dropped after the write is
        Sent(error_code(errno, boost::system::system_category()));
        return;
        // GCOVR_EXCL_STOP
    }
    const std::size_t done = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (done == text.size()) {
        Sent(error_code());
        return;
    }
    boost::asio::async_write(
        socket, boost::asio::buffer(text.data() + done, text.size() - done),
        boost::asio::bind_executor(strand,
                                   [self = shared_from_this()](const error_code& ec, std::size_t) { self->Sent(ec); }));
}

void ClientExchange::Sent(const error_code& ec) {
    if (Ended()) {
        Close();
        return;
    }
    if (ec) {
        if (!RetryOnFreshConnection()) {
            Fail(HttpError("sending " + settings.description + " failed: " + ec.message()));
        }
        return;
    }
    Read();
}

void ClientExchange::Read() {
    socket.async_read_some(reader.Room(), boost::asio::bind_executor(
                                              strand, [self = shared_from_this()](const error_code& ec, std::size_t n) {
                                                  self->ReadDone(ec, n);
                                              }));
}

void ClientExchange::ReadDone(const error_code& ec, std::size_t n) {
    if (Ended()) {
        Close();
        return;
    }
    if (n > 0) {
        const bool inHeader = !reader.HeaderDone();
        const ReplyReader::Progress progress = reader.Received(n);
        // The headers' limit counts from the start; the body's from each piece.
        if (reader.HeaderDone()) {
            if (inHeader) {
                inBody.store(true, std::memory_order_release);
            }
            MoveDeadline();
        }
        Went(progress);
        return;
    }
    if (!reader.Started() && RetryOnFreshConnection()) {
        return;  // a kept connection that the server had closed meanwhile
    }
    if (ec == boost::asio::error::eof) {
        Went(reader.PeerClosed());
        return;
    }
    const std::string reason = ec ? ec.message() : std::string("nothing read");
    Fail(HttpError(reader.HeaderDone() ? "reply of " + settings.description + " broke off in its body: " + reason
                                       : "no reply to " + settings.description + ": " + reason));
}

void ClientExchange::Went(ReplyReader::Progress progress) {
    if (Ended()) {
        Close();
        return;
    }
    switch (progress) {
        case ReplyReader::Progress::More:
            if (const auto left = reader.BodyLeft(); left && sink->BodyFile() >= 0) {
                SpliceBody(*left);
                return;
            }
            Read();
            return;
        case ReplyReader::Progress::Complete: Complete(); return;
        case ReplyReader::Progress::Failed: Fail(reader.Failure()); return;
    }
}

void ClientExchange::SpliceBody(std::uint64_t left) {
    // Socket to pipe to file, page by page in the kernel: tens of megabytes
    // of log never pass through this process.
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        // GCOVR_EXCL_START: a process out of descriptors reads the ordinary way
        pipeEnds[0] = pipeEnds[1] = -1;
        Read();
        return;
        // GCOVR_EXCL_STOP
    }
    (void)::fcntl(pipeEnds[1], F_SETPIPE_SZ, kSplicePipe);
    error_code ec;
    socket.native_non_blocking(true, ec);
    spliceLeft = left;
    Splice();
}

void ClientExchange::Splice() {
    const int file = sink->BodyFile();
    while (spliceLeft > 0) {
        const ssize_t in = ::splice(socket.native_handle(), nullptr, pipeEnds[1], nullptr,
                                    static_cast<std::size_t>(std::min<std::uint64_t>(spliceLeft, kSplicePipe)),
                                    SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (in < 0 && errno == EINTR) {
            continue;  // GCOVR_EXCL_LINE: a signal in the middle of one call cannot be timed in a test
        }
        if (in < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            socket.async_wait(tcp::socket::wait_read,
                              boost::asio::bind_executor(strand, [self = shared_from_this()](const error_code& ec) {
                                  if (self->Ended()) {
                                      self->Close();
                                  } else if (ec) {
                                      self->Fail(HttpError("reply of " + self->settings.description +
                                                           " broke off in its body: " + ec.message()));
                                  } else {
                                      self->Splice();
                                  }
                              }));
            return;
        }
        if (in <= 0) {
            const std::string reason = in == 0 ? std::string("the connection closed") : std::strerror(errno);
            Fail(HttpError("reply of " + settings.description + " broke off in its body: " + reason));
            return;
        }
        for (ssize_t moved = 0; moved < in;) {
            const ssize_t out =
                ::splice(pipeEnds[0], nullptr, file, nullptr, static_cast<std::size_t>(in - moved), SPLICE_F_MOVE);
            if (out < 0 && errno == EINTR) {
                continue;  // GCOVR_EXCL_LINE: a signal in the middle of one call cannot be timed in a test
            }
            if (out <= 0) {
                Fail(std::make_exception_ptr(
                    std::runtime_error(std::string("cannot write the file: ") + std::strerror(errno))));
                return;
            }
            moved += out;
        }
        spliceLeft -= static_cast<std::uint64_t>(in);
        MoveDeadline();
        if (Ended()) {
            Close();
            return;
        }
    }
    Complete();
}

bool ClientExchange::RetryOnFreshConnection() {
    if (!reused || retried) {
        return false;
    }
    retried = true;
    reused = false;
    CloseSocket();
    Lookup();
    return true;
}

void ClientExchange::Complete() {
    if (ended.exchange(true, std::memory_order_acq_rel)) {
        Close();
        return;
    }
    // Parked before the body is declared complete: a caller that waited for
    // it and sends the next request at once finds the connection free.
    if (reader.Reusable()) {
        {
            std::lock_guard<std::mutex> lock(descriptorMutex);
            descriptor = -1;
        }
        connections->Park(std::move(socket));
    } else {
        CloseSocket();
    }
    try {
        sink->Complete();
    } catch (...) {  // GCOVR_EXCL_LINE: no sink of ours throws; nothing is left to tell
    }
}

void ClientExchange::Fail(std::exception_ptr why) {
    if (!ended.exchange(true, std::memory_order_acq_rel)) {
        try {
            sink->Failed(why);
        } catch (...) {  // GCOVR_EXCL_LINE: no sink of ours throws; the outcome is settled either way
        }
    }
    Close();
}

void ClientExchange::Close() {
    std::lock_guard<std::recursive_mutex> lock(startMutex);
    CloseSocket();
}

void ClientExchange::CloseSocket() {
    {
        std::lock_guard<std::mutex> lock(descriptorMutex);
        descriptor = -1;
    }
    error_code ignored;
    socket.close(ignored);
}

}  // namespace tvo
