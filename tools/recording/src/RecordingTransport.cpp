// The recorder on the transport seam: HTTP clients and servers and the
// discovery socket, each wrapping the one the environment would have made.

#include "HttpTarget.h"
#include "RecordingWrappers.h"

#include <Common/DatagramSocket.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>
#include <HttpRest/StreamedResponse.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <utility>

namespace tvo::Recording {
namespace {

using web::json::value;
using State = Recorder::State;

const char* MethodName(HttpServerIF::HandlerMethodType method) {
    switch (method) {
        case HttpServerIF::HandlerMethodType::Delete: return "DELETE";
        case HttpServerIF::HandlerMethodType::Post: return "POST";
        case HttpServerIF::HandlerMethodType::Put: return "PUT";
        case HttpServerIF::HandlerMethodType::Get: return "GET";
        case HttpServerIF::HandlerMethodType::Patch: return "PATCH";
    }
    return "?";  // GCOVR_EXCL_LINE: the switch covers every method
}

std::string ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

class RecordingClient : public HttpClientIF {
public:
    RecordingClient(std::unique_ptr<HttpClientIF> inner, std::shared_ptr<State> state, const HttpClientOptions& options)
        : inner(std::move(inner)), state(std::move(state)), userAgent(options.userAgent), target(options.baseUri) {}

    pplx::task<web::http::http_response> request(const std::string& method, const std::string& pathAndQuery,
                                                 const std::string& body) override {
        const std::int64_t id = state->NextId();
        value headers = value::object(true);
        headers["Host"] = value::string(target.host);
        if (!userAgent.empty()) {
            headers["User-Agent"] = value::string(userAgent);
        }
        if (!body.empty()) {
            headers["Content-Type"] = value::string("application/json");
        }
        value event = value::object(true);
        event["kind"] = value::string("request");
        event["dir"] = value::string("out");
        event["id"] = value::number(id);
        event["method"] = value::string(method);
        event["target"] = value::string(target.Of(pathAndQuery));
        event["headers"] = std::move(headers);
        event["body"] = Body(body);
        state->Emit(std::move(event));

        pplx::task<web::http::http_response> sent;
        try {
            sent = inner->request(method, pathAndQuery, body);
        } catch (...) {
            EmitError(id, std::current_exception());
            throw;
        }
        auto recorder = state;
        return sent.then([recorder, id](pplx::task<web::http::http_response> arrived) {
            web::http::http_response response;
            try {
                response = arrived.get();
            } catch (...) {
                EmitError(recorder, id, std::current_exception());
                throw;
            }
            return Tee(recorder, id, response);
        });
    }

    bool download(const std::string& destinationPath) override {
        const std::int64_t id = state->NextId();
        value event = value::object(true);
        event["kind"] = value::string("request");
        event["dir"] = value::string("out");
        event["id"] = value::number(id);
        event["method"] = value::string("GET");
        event["target"] = value::string(target.basePath);
        event["download"] = value::boolean(true);
        state->Emit(std::move(event));
        const bool ok = inner->download(destinationPath);
        value reply = value::object(true);
        reply["kind"] = value::string("reply");
        reply["dir"] = value::string("out");
        reply["id"] = value::number(id);
        if (ok) {
            // The recorder's own read: the file is the body as it arrived.
            std::ifstream file(destinationPath, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            reply["status"] = value::number(200);
            reply["body"] = Body(content);
        } else {
            reply["error"] = value::string("download failed");
        }
        state->Emit(std::move(reply));
        return ok;
    }

    void cancel() override { inner->cancel(); }
    void setMaxReplySize(std::size_t bytes) override { inner->setMaxReplySize(bytes); }

private:
    std::unique_ptr<HttpClientIF> inner;
    std::shared_ptr<State> state;
    std::string userAgent;
    HttpTarget target;

    void EmitError(std::int64_t id, const std::exception_ptr& error) { EmitError(state, id, error); }

    static void EmitError(const std::shared_ptr<State>& state, std::int64_t id, const std::exception_ptr& error) {
        value reply = value::object(true);
        reply["kind"] = value::string("reply");
        reply["dir"] = value::string("out");
        reply["id"] = value::number(id);
        reply["error"] = value::string(ErrorText(error));
        reply["cancelled"] = value::boolean([&] {
            try {
                std::rethrow_exception(error);
            } catch (const RequestCancelled&) {
                return true;
            } catch (...) {
                return false;
            }
        }());
        state->Emit(std::move(reply));
    }

    // Hands the protocol a response of its own, whose body follows the real
    // one's once the recorder has seen it whole (or seen it fail).
    static web::http::http_response Tee(const std::shared_ptr<State>& state, std::int64_t id,
                                        web::http::http_response response) {
        auto copy = std::make_shared<StreamedResponse>(response.status_code());
        copy->SetReason(response.reason_phrase());
        value headers = value::object(true);
        for (const auto& header : response.headers()) {
            copy->AddHeader(header.first, header.second);
            headers[header.first] = value::string(header.second);
        }
        web::http::http_response handed = copy->Response();
        response.extract_vector().then([state, id, copy, status = response.status_code(),
                                        headers](pplx::task<std::vector<unsigned char>> body) mutable {
            value reply = value::object(true);
            reply["kind"] = value::string("reply");
            reply["dir"] = value::string("out");
            reply["id"] = value::number(id);
            reply["status"] = value::number(status);
            reply["headers"] = std::move(headers);
            try {
                const auto bytes = body.get();
                const std::string text(bytes.begin(), bytes.end());
                reply["body"] = Body(text);
                state->Emit(std::move(reply));
                copy->Append(text.data(), text.size());
                copy->Finish();
            } catch (...) {
                const auto error = std::current_exception();
                reply["body_error"] = value::string(ErrorText(error));
                state->Emit(std::move(reply));
                copy->Fail(error);
            }
        });
        return handed;
    }
};

class RecordingServer : public HttpServerIF {
public:
    RecordingServer(std::unique_ptr<HttpServerIF> inner, std::shared_ptr<State> state, HttpServerOptions options)
        : inner(std::move(inner)), state(std::move(state)), options(std::move(options)) {}

    void setMessageHandler(MessageHandler handler, HandlerMethodType method) override {
        auto recorder = state;
        inner->setMessageHandler(
            [recorder, handler = std::move(handler), name = MethodName(method)](const std::string& uri,
                                                                                const std::string& body) {
                const std::int64_t id = recorder->NextId();
                value request = value::object(true);
                request["kind"] = value::string("request");
                request["dir"] = value::string("in");
                request["id"] = value::number(id);
                request["method"] = value::string(name);
                request["target"] = value::string(uri);
                request["body"] = Body(body);
                recorder->Emit(std::move(request));
                value reply = value::object(true);
                reply["kind"] = value::string("reply");
                reply["dir"] = value::string("in");
                reply["id"] = value::number(id);
                try {
                    auto answer = handler(uri, body);
                    reply["status"] = value::number(static_cast<int>(answer.first));
                    reply["body"] = Body(answer.second);
                    recorder->Emit(std::move(reply));
                    return answer;
                } catch (...) {
                    // The server answers 500 for a handler that throws.
                    reply["status"] = value::number(500);
                    reply["error"] = value::string(ErrorText(std::current_exception()));
                    recorder->Emit(std::move(reply));
                    throw;
                }
            },
            method);
    }

    void listen() override {
        value event = value::object(true);
        event["kind"] = value::string("listen");
        event["address"] = value::string(options.address);
        event["port"] = value::number(options.port);
        event["path"] = value::string(options.path);
        try {
            inner->listen();
        } catch (...) {
            event["error"] = value::string(ErrorText(std::current_exception()));
            state->Emit(std::move(event));
            throw;
        }
        state->Emit(std::move(event));
    }

    void close() override { inner->close(); }
    void setMaxBodySize(std::size_t bytes) override { inner->setMaxBodySize(bytes); }
    void setLimits(const Limits& limits) override { inner->setLimits(limits); }
    void setErrorBodyMaker(ErrorBodyMaker maker) override { inner->setErrorBodyMaker(std::move(maker)); }

private:
    std::unique_ptr<HttpServerIF> inner;
    std::shared_ptr<State> state;
    HttpServerOptions options;
};

class RecordingSocket : public DatagramSocketIF {
public:
    RecordingSocket(std::unique_ptr<DatagramSocketIF> inner, std::shared_ptr<State> state)
        : inner(std::move(inner)), state(std::move(state)) {}

    ReceivedDatagram Receive(std::size_t maxBytes) override {
        ReceivedDatagram datagram = inner->Receive(maxBytes);
        // Polls that find nothing waiting are not worth a line each.
        if (datagram.size < 0 && datagram.error == EAGAIN) {
            return datagram;
        }
        value event = value::object(true);
        event["kind"] = value::string("datagram");
        event["size"] = value::number(static_cast<std::int64_t>(datagram.size));
        if (datagram.size < 0) {
            event["errno"] = value::number(datagram.error);
        } else {
            event["payload"] = Body(datagram.payload);
            event["sender"] = value::string(datagram.sender);
        }
        state->Emit(std::move(event));
        return datagram;
    }

private:
    std::unique_ptr<DatagramSocketIF> inner;
    std::shared_ptr<State> state;
};

}  // namespace

void AttachTransport(TransportEnvironment& transport, const std::shared_ptr<State>& state) {
    transport.makeHttpClient = [state, make = transport.makeHttpClient](const HttpClientOptions& options) {
        return std::make_unique<RecordingClient>(make(options), state, options);
    };
    transport.makeHttpServer = [state, make = transport.makeHttpServer](const HttpServerOptions& options) {
        return std::make_unique<RecordingServer>(make(options), state, options);
    };
    transport.openDiscoverySocket = [state, open = transport.openDiscoverySocket](const std::string& interfaceName,
                                                                                  std::uint16_t port) {
        value event = value::object(true);
        event["kind"] = value::string("socket");
        event["interface"] = value::string(interfaceName);
        event["port"] = value::number(port);
        std::unique_ptr<DatagramSocketIF> socket;
        try {
            socket = open(interfaceName, port);
        } catch (...) {
            event["error"] = value::string(ErrorText(std::current_exception()));
            state->Emit(std::move(event));
            throw;
        }
        state->Emit(std::move(event));
        return std::unique_ptr<DatagramSocketIF>(std::make_unique<RecordingSocket>(std::move(socket), state));
    };
}

}  // namespace tvo::Recording
