#pragma once
// Reads one reply from whatever bytes a connection delivers: its parts go to
// the sink as soon as they are understood, the body within its limit, and
// nothing of it is kept here beyond one read buffer. No socket: the exchange
// feeds it, and so can a fuzzer.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/asio/buffer.hpp>

#include "ReplyParser.h"

namespace tvo {

struct ReplyHead {
    int status = 0;
    std::string reason;
    int version = 11;
    std::vector<std::pair<std::string, std::string>> fields;
};

// Where a reply goes. Headers, Body and Complete come from the exchange's
// strand, in that order; Failed from any thread, instead of Complete. Each
// of Complete and Failed comes at most once, never both.
class ReplySink {
public:
    virtual ~ReplySink();
    // Throws to refuse the reply; the exchange then fails with that error.
    virtual void Headers(const ReplyHead& head) = 0;
    // Throws when the piece cannot be taken; the exchange then fails with that error.
    virtual void Body(std::string_view piece) = 0;
    virtual void Complete() = 0;
    virtual void Failed(std::exception_ptr why) = 0;
    // A sink that writes the body into a file names it here: the exchange
    // may then move the body there in the kernel instead of through Body.
    virtual int BodyFile() const { return -1; }
};

class ReplyReader final : private ReplyReceiver {
public:
    enum class Progress { More, Complete, Failed };

    // description names the request in error messages ("PUT http://host/x").
    ReplyReader(ReplySink& sink, std::size_t maxBody, std::size_t readChunk, std::string description);
    ~ReplyReader();
    ReplyReader(const ReplyReader&) = delete;
    ReplyReader& operator=(const ReplyReader&) = delete;

    // For a request sent (again): forgets what was read.
    void Reset();
    // Where the next read goes: never empty while the reply wants more.
    boost::asio::mutable_buffer Room();
    // n bytes were read into Room().
    Progress Received(std::size_t n);
    // The peer closed its side: ends a body that runs until then, or fails.
    Progress PeerClosed();

    bool Started() const { return started; }
    bool HeaderDone() const { return headerDone; }
    // The bytes of a body of declared length still to come, when all that
    // was read so far has been parsed; none otherwise. Whoever reads them
    // past the reader ends the reply.
    std::optional<std::uint64_t> BodyLeft() const;
    // After Complete: whether the connection may take another request.
    bool Reusable() const;
    // After Failed: why.
    std::exception_ptr Failure() const { return failure; }

private:
    Progress Parse();
    Progress Fail(std::exception_ptr why);
    std::exception_ptr Error(const std::string& text) const;

    void OnStatus(int code, std::string_view reason, int version) override;
    void OnField(std::string_view name, std::string_view value) override;
    bool OnHeader() override;
    bool OnBodyStart(const boost::optional<std::uint64_t>& contentLength) override;
    bool OnBody(std::string_view piece) override;

    ReplySink& sink;
    const std::size_t maxBody;
    const std::string description;
    const std::size_t capacity;
    std::unique_ptr<char[]> buffer;  // not zeroed: only what was read is looked at
    std::size_t buffered = 0;
    std::optional<ReplyParser> parser;
    ReplyHead head;
    bool started = false;
    bool headerDone = false;
    bool interim = false;  // a 1xx reply before the real one
    std::uint64_t received = 0;
    std::exception_ptr refusal;  // why a receiver call said no
    std::exception_ptr failure;
};

}  // namespace tvo
