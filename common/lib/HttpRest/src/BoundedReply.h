#pragma once
// Reads a reply body with a size bound: a peer that sends more, or never
// stops, fails the request instead of filling memory or the disk.

#include <cstddef>
#include <memory>
#include <string>

#include <cpprest/http_msg.h>
#include <cpprest/streams.h>
#include <pplx/pplxtasks.h>

namespace tvo {

// Copies body into sink until its end. Past limit bytes it cancels abort
// (which drops the connection) and fails with a message naming target.
// Yields the bytes copied.
pplx::task<std::size_t> CopyBounded(concurrency::streams::istream body,
                                    concurrency::streams::streambuf<std::uint8_t> sink, std::size_t limit,
                                    pplx::cancellation_token_source abort, std::string target);

// The reply with its whole body read under the bound, as a response whose
// body is already there (content_ready and the extract calls work on it).
pplx::task<web::http::http_response> ReadBounded(pplx::task<web::http::http_response> reply, std::size_t limit,
                                                 pplx::cancellation_token_source abort, std::string target);

}  // namespace tvo
