// What HttpServer's dispatch costs over a bare cpprestsdk listener doing the
// same work: a PUT whose JSON body is echoed back, on loopback.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BarePutServer.h"
#include "HttpRest/HttpServer.h"
#include "Logger/LogClient.h"
#include "TestSupport/TestSupport.h"

namespace tvo {
namespace {

const std::string kBody = R"({"message-header":{"ip_addr":"","mac_id":"","port_number":0,"serial_number":""},)"
                          R"("msg_type":"charge_status","charge_state":"Charging","charge_fault":0})";

std::string served;  // base URI of the server under test, set by the Setup functions

std::unique_ptr<HttpServer> server;
void StartHttpServer(const benchmark::State&) {
    LogClient::SetLevel(LogLevel::Warning);  // the per-request lines are not what is measured
    const int port = FreeTcpPort();
    server = std::make_unique<HttpServer>(nullptr, HttpServer::SslConfig{}, "http://127.0.0.1", port, "bench/");
    server->setMessageHandler(
        [](const std::string&, const std::string& body) { return std::make_pair(HttpServer::OK, body); },
        HttpServer::HandlerMethodType::Put);
    server->listen();
    served = "http://127.0.0.1:" + std::to_string(port);
}
void StopHttpServer(const benchmark::State&) {
    server.reset();
}

std::unique_ptr<bench::BarePutServer> bare;
void StartBareListener(const benchmark::State&) {
    served = "http://127.0.0.1:" + std::to_string(FreeTcpPort());
    bare = std::make_unique<bench::BarePutServer>(
        served + "/bench/", [](const std::string& body) { return body; }, "application/json");
}
void StopBareListener(const benchmark::State&) {
    bare.reset();
}

// Each benchmark thread is one client connection sending requests back to back.
void EchoLoop(benchmark::State& state) {
    bench::PutBackToBack(state, served, "/bench/echo?type=charge_status", kBody, kBody);
}

void BM_HttpServerEcho(benchmark::State& state) {
    EchoLoop(state);
}
void BM_BareHttpServerEcho(benchmark::State& state) {
    EchoLoop(state);
}

BENCHMARK(BM_HttpServerEcho)
    ->Setup(StartHttpServer)
    ->Teardown(StopHttpServer)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(BM_BareHttpServerEcho)
    ->Setup(StartBareListener)
    ->Teardown(StopBareListener)
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace tvo
