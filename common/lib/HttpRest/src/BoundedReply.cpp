#include "BoundedReply.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include <cpprest/containerstream.h>

namespace tvo {
namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

std::runtime_error TooLarge(const std::string& target, std::size_t limit) {
    return std::runtime_error("reply from " + target + " is larger than the limit of " + std::to_string(limit) +
                              " bytes");
}

struct Copy {
    concurrency::streams::istream body;
    concurrency::streams::streambuf<std::uint8_t> sink;
    std::size_t limit;
    pplx::cancellation_token_source abort;
    std::string target;
    std::size_t copied = 0;
};

// One chunk at a time, continuing on whichever thread completes the read: no
// pool thread waits for the body to arrive.
pplx::task<std::size_t> Step(std::shared_ptr<Copy> copy) {
    // At most one byte past the limit is asked for: enough to know.
    const std::size_t room = copy->limit - copy->copied + 1;
    return copy->body.read(copy->sink, std::min(kChunk, room)).then([copy](std::size_t n) -> pplx::task<std::size_t> {
        if (n == 0) {
            return pplx::task_from_result(copy->copied);
        }
        copy->copied += n;
        if (copy->copied > copy->limit) {
            copy->abort.cancel();
            throw TooLarge(copy->target, copy->limit);
        }
        return Step(copy);
    });
}

}  // namespace

pplx::task<std::size_t> CopyBounded(concurrency::streams::istream body,
                                    concurrency::streams::streambuf<std::uint8_t> sink, std::size_t limit,
                                    pplx::cancellation_token_source abort, std::string target) {
    auto copy = std::make_shared<Copy>(Copy{body, sink, limit, std::move(abort), std::move(target)});
    return Step(copy);
}

pplx::task<web::http::http_response> ReadBounded(pplx::task<web::http::http_response> reply, std::size_t limit,
                                                 pplx::cancellation_token_source abort, std::string target) {
    return reply.then([limit, abort, target](web::http::http_response response) {
        const auto declared = response.headers().content_length();
        if (declared > limit) {
            abort.cancel();
            throw TooLarge(target, limit);
        }
        concurrency::streams::container_buffer<std::vector<std::uint8_t>> sink;
        return CopyBounded(response.body(), sink, limit, abort, target)
            .then([response, sink](std::size_t size) mutable {
                web::http::http_response whole(response.status_code());
                whole.set_reason_phrase(response.reason_phrase());
                // The buffer grows by whole reads; only what arrived counts.
                std::vector<std::uint8_t> bytes = std::move(sink.collection());
                bytes.resize(size);
                whole.set_body(std::move(bytes));
                // The peer's own headers, its content type among them.
                for (const auto& header : response.headers()) {
                    whole.headers()[header.first] = header.second;
                }
                whole._get_impl()->_complete(size);
                return whole;
            });
    });
}

}  // namespace tvo
