#pragma once
// The yardstick of the HTTP benchmarks: a bare cpprestsdk listener answering
// PUTs, and a client loop that sends PUTs back to back over one connection.

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>

namespace web::http::experimental::listener {
class http_listener;
}

namespace tvo::bench {

// Listens on url and answers every PUT with 200 and answer(request body).
class BarePutServer {
public:
    BarePutServer(const std::string& url, std::function<std::string(const std::string&)> answer,
                  std::string contentType);
    ~BarePutServer();
    BarePutServer(const BarePutServer&) = delete;
    BarePutServer& operator=(const BarePutServer&) = delete;

private:
    std::unique_ptr<web::http::experimental::listener::http_listener> listener;
};

// One benchmark thread: PUT body to base + uri for every iteration and check
// that the reply is 200 with expected; counts "req/s".
void PutBackToBack(benchmark::State& state, const std::string& base, const std::string& uri, const std::string& body,
                   const std::string& expected);

}  // namespace tvo::bench
