// What HttpServer's dispatch costs over a bare cpprestsdk listener doing the
// same work: a PUT whose JSON body is echoed back, on loopback.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include <cpprest/http_client.h>
#include <cpprest/http_listener.h>

#include "HttpRest/HttpServer.h"
#include "HttpRest/HttpThreadPool.h"
#include "Logger/LogClient.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

using web::http::experimental::listener::http_listener;

const std::string kBody =
    R"({"message-header":{"ip_addr":"","mac_id":"","port_number":0,"serial_number":""},)"
    R"("msg_type":"charge_status","charge_state":"Charging","charge_fault":0})";

std::string served;  // base URI of the server under test, set by the Setup functions

std::unique_ptr<HttpServer> server;
void StartHttpServer(const benchmark::State&) {
    LogClient::SetLevel(LogLevel::Warning);  // the per-request lines are not what is measured
    const int port = FreeTcpPort();
    server = std::make_unique<HttpServer>(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "bench/");
    server->setMessageHandler([](const std::string&, const std::string& body) {
        return std::make_pair(HttpServer::OK, body);
    }, HttpServer::HandlerMethodType::Put);
    server->listen();
    served = "http://127.0.0.1:" + std::to_string(port);
}
void StopHttpServer(const benchmark::State&) { server.reset(); }

std::unique_ptr<http_listener> bare;
void StartBareListener(const benchmark::State&) {
    EnsureHttpThreadPool();
    const int port = FreeTcpPort();
    served = "http://127.0.0.1:" + std::to_string(port);
    bare = std::make_unique<http_listener>(served + "/bench/");
    bare->support(web::http::methods::PUT, [](web::http::http_request request) {
        request.extract_utf8string(true).then([request](pplx::task<std::string> body) mutable {
            try {
                request.reply(web::http::status_codes::OK, body.get(), "application/json")
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
    bare->open().wait();
}
void StopBareListener(const benchmark::State&) {
    bare->close().wait();
    bare.reset();
}

// Each benchmark thread is one client connection sending requests back to back.
void EchoLoop(benchmark::State& state) {
    web::http::client::http_client client(served);
    for (auto _ : state) {
        web::http::http_request request(web::http::methods::PUT);
        request.set_request_uri("/bench/echo?type=charge_status");
        request.set_body(kBody, "application/json");
        web::http::http_response response = client.request(request).get();
        const std::string echoed = response.extract_utf8string(true).get();
        if (response.status_code() != 200 || echoed != kBody) {
            state.SkipWithError("echo failed");
            break;
        }
    }
    state.counters["req/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_HttpServerEcho(benchmark::State& state) { EchoLoop(state); }
void BM_BareHttpServerEcho(benchmark::State& state) { EchoLoop(state); }

BENCHMARK(BM_HttpServerEcho)->Setup(StartHttpServer)->Teardown(StopHttpServer)
    ->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_BareHttpServerEcho)->Setup(StartBareListener)->Teardown(StopBareListener)
    ->Threads(1)->Threads(8)->UseRealTime()->MinTime(1.0);

}  // namespace
}  // namespace tvo
