#pragma once
// What the client tests share: a loopback address, how a request or its
// body ended, and waiting a bounded time for a condition.

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "HttpRest/HttpClient.h"

namespace tvo::test {

inline std::string Loopback(int port) {
    return "http://127.0.0.1:" + std::to_string(port);
}

// Callers stop retrying on RequestCancelled alone: the outcome names it apart.
// "status N", "cancelled: <what>" or "threw: <what>".
inline std::string Outcome(const pplx::task<web::http::http_response>& task) {
    try {
        return "status " + std::to_string(task.get().status_code());
    } catch (const RequestCancelled& e) {
        return std::string("cancelled: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("threw: ") + e.what();
    }
}

// "body <text>", or how reading it failed, as above.
inline std::string BodyOutcome(const web::http::http_response& response) {
    try {
        return "body " + response.extract_string().get();
    } catch (const RequestCancelled& e) {
        return std::string("cancelled: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("threw: ") + e.what();
    }
}

// Whether condition came true within limit; only a fault waits that long.
inline bool Within(std::chrono::milliseconds limit, const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace tvo::test
