#include "ClientRoundTrips.h"

#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpThreadPool.h>

#include <cpprest/http_client.h>

#include <functional>
#include <stdexcept>

namespace tvo::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Runs one round trip per call until duration has passed; the rate.
double Rate(const std::function<bool()>& roundTrip, std::chrono::milliseconds duration) {
    for (int i = 0; i < 50; ++i) {  // connection and caches warm
        if (!roundTrip()) {
            return -1;
        }
    }
    long done = 0;
    const auto start = Clock::now();
    const auto end = start + duration;
    while (Clock::now() < end) {
        if (!roundTrip()) {
            return -1;
        }
        ++done;
    }
    return static_cast<double>(done) / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

const std::vector<std::string>& ClientKinds() {
    static const std::vector<std::string> kinds = {"ours", "cpprest-2"};
    return kinds;
}

double RoundTripRate(const std::string& kind, int port, const std::string& target, const std::string& body,
                     std::chrono::milliseconds duration) {
    static const bool pooled = [] {
        SetHttpThreadPoolSize(2);  // the camera's pool, for both
        EnsureHttpThreadPool();
        return true;
    }();
    (void)pooled;
    const std::string address = "http://127.0.0.1:" + std::to_string(port);
    if (kind == "ours") {
        HttpClient client(nullptr, address, std::chrono::seconds(5), nullptr);
        return Rate(
            [&] {
                const auto response = client.request("PUT", target, body).get();
                return response.status_code() == 200 && !response.extract_string().get().empty();
            },
            duration);
    }
    if (kind == "cpprest-2") {
        web::http::client::http_client client(address);
        return Rate(
            [&] {
                web::http::http_request request(web::http::methods::PUT);
                request.set_request_uri(target);
                request.set_body(std::vector<unsigned char>(body.begin(), body.end()));
                request.headers().set_content_type("application/json");
                const auto response = client.request(request).get();
                return response.status_code() == 200 && !response.extract_string().get().empty();
            },
            duration);
    }
    throw std::runtime_error("no client kind '" + kind + "'");
}

}  // namespace tvo::bench
