#pragma once
// Parses a reply as it arrives and hands its parts on without keeping them:
// the status line and each field as they come, then the body piece by piece
// straight from the read buffer.

#include <cstdint>
#include <limits>
#include <string_view>

#include <boost/beast/http/basic_parser.hpp>
#include <boost/optional.hpp>

namespace tvo {

class ReplyReceiver {
public:
    virtual void OnStatus(int code, std::string_view reason, int version) = 0;
    virtual void OnField(std::string_view name, std::string_view value) = 0;
    // False refuses the reply.
    virtual bool OnHeader() = 0;
    // False refuses the body (declared too large).
    virtual bool OnBodyStart(const boost::optional<std::uint64_t>& contentLength) = 0;
    // False stops the reading (too large, or the sink failed).
    virtual bool OnBody(std::string_view piece) = 0;

protected:
    ~ReplyReceiver() = default;
};

class ReplyParser final : public boost::beast::http::basic_parser<false> {
public:
    // A header larger than this fails the reply.
    static constexpr std::uint32_t kHeaderLimit = 16 * 1024;

    explicit ReplyParser(ReplyReceiver& receiver) : receiver(receiver) {
        header_limit(kHeaderLimit);
        // The receiver bounds the body. (Not boost::none: Boost 1.74 then
        // takes every Content-Length for one past the limit.)
        body_limit(std::numeric_limits<std::uint64_t>::max());
        eager(true);
    }

private:
    using error_code = boost::beast::error_code;
    using string_view = boost::beast::string_view;
    static std::string_view View(string_view text) { return {text.data(), text.size()}; }

    // GCOVR_EXCL_START: a reply parser never meets a request line
    void on_request_impl(boost::beast::http::verb, string_view, string_view, int, error_code& ec) override {
        ec = boost::beast::http::error::bad_version;
    }
    // GCOVR_EXCL_STOP
    void on_response_impl(int code, string_view reason, int version, error_code&) override {
        receiver.OnStatus(code, View(reason), version);
    }
    void on_field_impl(boost::beast::http::field, string_view name, string_view value, error_code&) override {
        receiver.OnField(View(name), View(value));
    }
    void on_header_impl(error_code& ec) override {
        if (!receiver.OnHeader()) {
            ec = boost::beast::http::error::bad_value;
        }
    }
    void on_body_init_impl(const boost::optional<std::uint64_t>& length, error_code& ec) override {
        if (!receiver.OnBodyStart(length)) {
            ec = boost::beast::http::error::body_limit;
        }
    }
    std::size_t on_body_impl(string_view body, error_code& ec) override {
        if (!receiver.OnBody(View(body))) {
            ec = boost::beast::http::error::body_limit;
            return 0;
        }
        return body.size();
    }
    void on_chunk_header_impl(std::uint64_t, string_view, error_code&) override {}
    std::size_t on_chunk_body_impl(std::uint64_t, string_view body, error_code& ec) override {
        return on_body_impl(body, ec);
    }
    void on_finish_impl(error_code&) override {}

    ReplyReceiver& receiver;
};

}  // namespace tvo
