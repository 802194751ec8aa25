#include "HttpRest/StreamedResponse.h"

#include <atomic>
#include <cstring>

#include <cpprest/streams.h>

namespace tvo {

struct StreamedResponse::Impl {
    explicit Impl(unsigned short status) : response(status) {}

    web::http::http_response response;
    // The buffer cpprestsdk's own client reads a body into, made by
    // cpprestsdk itself: readers wait on it, it is freed with the last copy
    // of the response, and its code stays in cpprestsdk's library.
    concurrency::streams::streambuf<std::uint8_t> body;
    std::size_t received = 0;
    std::atomic<bool> ended{false};
};

StreamedResponse::StreamedResponse(unsigned short status) : impl(std::make_unique<Impl>(status)) {
    auto message = impl->response._get_impl();
    message->_prepare_to_receive_data();
    impl->body = message->outstream().streambuf();
}

StreamedResponse::~StreamedResponse() = default;

void StreamedResponse::SetReason(const std::string& reason) {
    impl->response.set_reason_phrase(reason);
}

void StreamedResponse::SetVersion(unsigned major, unsigned minor) {
    impl->response._get_impl()->_set_http_version(
        web::http::http_version{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)});
}

void StreamedResponse::AddHeader(const std::string& name, const std::string& value) {
    impl->response.headers().add(name, value);
}

web::http::http_response StreamedResponse::Response() const {
    return impl->response;
}

void StreamedResponse::Append(const char* data, std::size_t size) {
    if (size == 0 || impl->ended.load(std::memory_order_acquire)) {
        return;
    }
    // One block per piece, filled in place: no task per write.
    std::uint8_t* room = impl->body.alloc(size);
    if (room == nullptr) {
        return;  // closed for writing by a failure meanwhile
    }
    std::memcpy(room, data, size);
    impl->body.commit(size);
    impl->received += size;
}

void StreamedResponse::Finish() {
    if (!impl->ended.exchange(true)) {
        impl->response._get_impl()->_complete(impl->received);
    }
}

void StreamedResponse::Fail(std::exception_ptr why) {
    if (!impl->ended.exchange(true)) {
        impl->response._get_impl()->_complete(0, why);
    }
}

}  // namespace tvo
