#include "ReplyReader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <boost/beast/http/error.hpp>

#include <cpprest/http_msg.h>

namespace tvo {
namespace {

bool IsInterim(int status) {
    return status >= 100 && status < 200 && status != 101;
}

}  // namespace

ReplySink::~ReplySink() = default;

ReplyReader::ReplyReader(ReplySink& sink, std::size_t maxBody, std::size_t readChunk, std::string description)
    : sink(sink),
      maxBody(maxBody),
      description(std::move(description)),
      capacity(std::max<std::size_t>(readChunk, ReplyParser::kHeaderLimit + 1024)),
      buffer(new char[capacity]) {
    Reset();
}

ReplyReader::~ReplyReader() = default;

void ReplyReader::Reset() {
    parser.emplace(static_cast<ReplyReceiver&>(*this));
    head = ReplyHead();
    buffered = 0;
    started = false;
    headerDone = false;
    interim = false;
    received = 0;
    refusal = nullptr;
    failure = nullptr;
}

boost::asio::mutable_buffer ReplyReader::Room() {
    return boost::asio::buffer(buffer.get() + buffered, capacity - buffered);
}

std::exception_ptr ReplyReader::Error(const std::string& text) const {
    return std::make_exception_ptr(web::http::http_exception(text));
}

ReplyReader::Progress ReplyReader::Fail(std::exception_ptr why) {
    failure = std::move(why);
    return Progress::Failed;
}

ReplyReader::Progress ReplyReader::Received(std::size_t n) {
    buffered += std::min(n, capacity - buffered);
    started = started || n > 0;
    return Parse();
}

ReplyReader::Progress ReplyReader::Parse() {
    for (;;) {
        boost::beast::error_code ec;
        const std::size_t used = parser->put(boost::asio::buffer(buffer.get(), buffered), ec);
        if (used > 0) {
            std::memmove(buffer.get(), buffer.get() + used, buffered - used);
            buffered -= used;
        }
        if (ec == boost::beast::http::error::need_more) {
            break;
        }
        if (ec) {
            return Fail(refusal ? refusal : Error("unreadable reply to " + description + ": " + ec.message()));
        }
        if (parser->is_done()) {
            if (!interim) {
                return Progress::Complete;
            }
            parser.emplace(static_cast<ReplyReceiver&>(*this));  // the real reply follows
            head = ReplyHead();
            interim = false;
            continue;
        }
        if (used == 0) {
            break;
        }
    }
    if (buffered == capacity) {
        // GCOVR_EXCL_START: a safety net; the parser refuses headers past their limit first
        return Fail(Error("reply header of " + description + " is too large"));
        // GCOVR_EXCL_STOP
    }
    return Progress::More;
}

ReplyReader::Progress ReplyReader::PeerClosed() {
    if (!headerDone) {
        return Fail(Error("no reply to " + description + ": the connection closed"));
    }
    boost::beast::error_code end;
    parser->put_eof(end);
    if (end || !parser->is_done()) {
        return Fail(Error("reply of " + description + " broke off in its body"));
    }
    return Progress::Complete;
}

std::optional<std::uint64_t> ReplyReader::BodyLeft() const {
    if (!headerDone || interim || buffered > 0 || parser->is_done() || parser->chunked() || !parser->content_length()) {
        return std::nullopt;
    }
    const auto left = parser->content_length_remaining();
    return left ? std::optional<std::uint64_t>(*left) : std::nullopt;
}

bool ReplyReader::Reusable() const {
    return parser->keep_alive() && buffered == 0;
}

void ReplyReader::OnStatus(int code, std::string_view reason, int version) {
    head.status = code;
    head.reason.assign(reason.data(), reason.size());
    head.version = version;
}

void ReplyReader::OnField(std::string_view name, std::string_view value) {
    head.fields.emplace_back(std::string(name), std::string(value));
}

bool ReplyReader::OnHeader() {
    if (IsInterim(head.status)) {
        interim = true;
        return true;
    }
    headerDone = true;
    try {
        sink.Headers(head);
    } catch (...) {
        refusal = std::current_exception();
        return false;
    }
    head.fields.clear();
    return true;
}

bool ReplyReader::OnBodyStart(const boost::optional<std::uint64_t>& contentLength) {
    if (contentLength && *contentLength > maxBody) {
        refusal = std::make_exception_ptr(
            std::runtime_error("reply from " + description + " declares " + std::to_string(*contentLength) +
                               " bytes, larger than the limit of " + std::to_string(maxBody) + " bytes"));
        return false;
    }
    return true;
}

bool ReplyReader::OnBody(std::string_view piece) {
    received += piece.size();
    if (received > maxBody) {
        refusal = std::make_exception_ptr(std::runtime_error(
            "reply from " + description + " is larger than the limit of " + std::to_string(maxBody) + " bytes"));
        return false;
    }
    try {
        sink.Body(piece);
    } catch (...) {
        refusal = std::current_exception();
        return false;
    }
    return true;
}

}  // namespace tvo
