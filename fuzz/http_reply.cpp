// The outbound client's reply reader on any bytes a dock may send, cut into
// reads of any size. Whatever arrives: the headers reach the sink at most
// once and before any body, the body never passes the limit, a finished
// reply had its headers, and the reader always has room for the next read.

#include "FuzzSupport.h"

#include "ReplyReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

using tvo::ReplyReader;

constexpr std::size_t kLimit = 4096;

class CheckingSink : public tvo::ReplySink {
public:
    void Headers(const tvo::ReplyHead& head) override {
        tvo::fuzz::Require(headers == 0, "the headers came twice");
        tvo::fuzz::Require(head.status >= 0 && head.status <= 999, "a status outside three digits");
        ++headers;
        if (head.status == 418) {
            throw std::runtime_error("refused by the reader");  // a sink may refuse
        }
    }
    void Body(std::string_view piece) override {
        tvo::fuzz::Require(headers == 1, "body before the headers");
        body += piece.size();
        tvo::fuzz::Require(body <= kLimit, "the body passed its limit");
    }
    void Complete() override {}
    void Failed(std::exception_ptr) override {}

    int headers = 0;
    std::size_t body = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks how the bytes are cut into reads.
    std::uint32_t cut = data[0] | 1u;
    ++data;
    --size;

    CheckingSink sink;
    ReplyReader reader(sink, kLimit, 1024, "GET http://dock/x");
    ReplyReader::Progress progress = ReplyReader::Progress::More;
    std::size_t at = 0;
    while (progress == ReplyReader::Progress::More && at < size) {
        const auto room = reader.Room();
        tvo::fuzz::Require(room.size() > 0, "no room for the next read");
        cut = cut * 1103515245u + 12345u;
        const std::size_t n = std::min({size - at, room.size(), std::size_t{1} + (cut >> 16) % 300});
        std::memcpy(room.data(), data + at, n);
        at += n;
        progress = reader.Received(n);
    }
    if (progress == ReplyReader::Progress::More) {
        progress = reader.PeerClosed();
    }
    if (progress == ReplyReader::Progress::Complete) {
        tvo::fuzz::Require(sink.headers == 1, "a reply complete without its headers");
        tvo::fuzz::Require(reader.HeaderDone(), "complete before the header");
    } else {
        tvo::fuzz::Require(progress == ReplyReader::Progress::Failed && reader.Failure(),
                           "a reply that ended neither complete nor with a reason");
    }
    return 0;
}
