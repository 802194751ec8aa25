#pragma once
// The one worker pool behind every HttpClient and HttpServer of the process.
// cpprestsdk starts a large pool on first use unless told otherwise, which a
// small device cannot afford; the host picks the size once, early.

#include <HttpRest/Export.h>
#include <cstddef>

namespace tvo {

// Chooses the pool size. Call it before the first HttpClient or HttpServer is
// built (or before any other use of cpprestsdk tasks). Throws
// std::invalid_argument for 0 and std::logic_error when the pool exists
// already.
PMX_HTTPREST_API void SetHttpThreadPoolSize(std::size_t threads);

// Creates the pool with the chosen size (2 unless SetHttpThreadPoolSize said
// otherwise) if nobody has yet. Called by every HttpClient and HttpServer
// constructor; cheap after the first call. When cpprestsdk had already
// started its pool on its own, that pool is kept and a warning is logged.
PMX_HTTPREST_API void EnsureHttpThreadPool();

// Lets the pool run the work queued so far and what that work queues in turn
// (a few rounds), waiting at most about a second. Work still queued when the
// process ends is never run and its memory never freed, which leak checkers
// report; call this before exiting (tests do, from their environment). Not
// from a pool thread. Does nothing when the pool was never created here.
PMX_HTTPREST_API void DrainHttpThreadPool();

// The size the pool was created with by EnsureHttpThreadPool, or 0 while it
// has not been created by it.
PMX_HTTPREST_API std::size_t HttpThreadPoolSize();

}  // namespace tvo
