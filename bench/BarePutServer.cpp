#include "BarePutServer.h"

#include <HttpRest/HttpThreadPool.h>

#include <cpprest/http_client.h>
#include <cpprest/http_listener.h>

#include <utility>

namespace tvo::bench {

BarePutServer::BarePutServer(const std::string& url, std::function<std::string(const std::string&)> answer,
                             std::string contentType) {
    EnsureHttpThreadPool();
    listener = std::make_unique<web::http::experimental::listener::http_listener>(url);
    listener->support(web::http::methods::PUT, [answer = std::move(answer),
                                                contentType = std::move(contentType)](web::http::http_request request) {
        request.extract_utf8string(true).then([request, answer, contentType](pplx::task<std::string> body) mutable {
            // Every task is observed: an unobserved failure ends the process.
            try {
                request.reply(web::http::status_codes::OK, answer(body.get()), contentType)
                    .then([](pplx::task<void> sent) {
                        try {
                            sent.get();
                        } catch (...) {
                        }
                    });
            } catch (...) {
            }
        });
    });
    listener->open().wait();
}

BarePutServer::~BarePutServer() {
    listener->close().wait();
}

void PutBackToBack(benchmark::State& state, const std::string& base, const std::string& uri, const std::string& body,
                   const std::string& expected) {
    if (base.empty()) {
        state.SkipWithError("server did not start");
        return;
    }
    web::http::client::http_client client(base);
    for (auto _ : state) {
        web::http::http_request request(web::http::methods::PUT);
        request.set_request_uri(uri);
        request.set_body(body, "application/json");
        web::http::http_response response = client.request(request).get();
        const std::string reply = response.extract_utf8string(true).get();
        if (response.status_code() != 200 || reply != expected) {
            state.SkipWithError(("unexpected answer to " + uri).c_str());
            break;
        }
    }
    state.counters["req/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace tvo::bench
