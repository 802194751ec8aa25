#include <DockProtocol/RestHandle.h>

#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>

#include <cpprest/http_msg.h>
#include <pplx/pplxtasks.h>

#include <stdexcept>

namespace tvo {
namespace {}  // namespace

struct RestHandle::Impl {
    std::unique_ptr<HttpClientIF> client;
    std::unique_ptr<ResponseTask> response;
};

RestHandle::RestHandle(std::unique_ptr<HttpClientIF> client, std::unique_ptr<ResponseTask> response)
    : impl(std::make_unique<Impl>()) {
    if (!client) {
        throw std::runtime_error("Invalid HTTP Client");
    }
    if (!response) {
        throw std::runtime_error("Invalid HTTP Response");
    }
    impl->client = std::move(client);
    impl->response = std::move(response);
}

RestHandle::~RestHandle() {
    // noexcept: a client whose cancel throws ends the program, as it must not
    // leave a request running against freed state.
    Cancel();
    // The task may hold continuations that refer to the client's state.
    impl->response.reset();
    impl->client.reset();
}

void RestHandle::Cancel() {
    PMX_LOG(LogLevel::FinestDetail, kLogCategoryDock) << "Cancelling HttpClient request...";
    impl->client->cancel();
    PMX_LOG(LogLevel::Detail, kLogCategoryDock) << "Cancelling HttpClient request... (done)";
}

bool RestHandle::IsDone() {
    ResponseTask& task = *impl->response;
    // Throws pplx::invalid_operation for a default-constructed task.
    if (!task.is_done()) {
        PMX_LOG(LogLevel::FinestDetail, kLogCategoryDock) << "Waiting for http_response to be done";
        return false;
    }
    web::http::http_response response;
    try {
        response = task.get();
    } catch (const std::runtime_error& e) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Error getting response: " << e.what();
        return true;
    }
    if (response.status_code() != web::http::status_codes::OK) {
        return false;
    }
    pplx::task<web::http::http_response> body = response.content_ready();
    if (!body.is_done()) {
        PMX_LOG(LogLevel::FinestDetail, kLogCategoryDock) << "Waiting for content_ready to be done";
    }
    return true;
}

}  // namespace tvo
