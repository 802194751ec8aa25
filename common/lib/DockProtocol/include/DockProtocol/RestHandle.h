#pragma once
// Owner of one outstanding asynchronous request to a dock, handed to the host
// by the asynchronous status reports. The host polls it with IsDone, may stop
// it with Cancel, and destroys it when it no longer cares; destroying it
// cancels the request. The handle keeps the client that issued the request
// alive as long as the request's task.
//
// Only declarations of the HTTP types appear here, so that a host including
// the protocol headers does not compile cpprestsdk's task machinery; whoever
// builds or polls a handle includes the real headers.

#include <DockProtocol/Export.h>
#include <memory>

namespace pplx {
template <typename Type>
class task;
}  // namespace pplx

namespace web::http {
class http_response;
}  // namespace web::http

namespace tvo {

class HttpClient;

class PMX_DOCKPROTOCOL_API RestHandle {
public:
    using ResponseTask = pplx::task<web::http::http_response>;

    // Takes ownership of both. Throws std::runtime_error "Invalid HTTP Client"
    // or "Invalid HTTP Response" when one is missing (the client is checked
    // first). Sends and waits for nothing.
    RestHandle(std::unique_ptr<HttpClient> client, std::unique_ptr<ResponseTask> response);
    // Cancels the request (also a finished one), then frees the task before
    // the client.
    ~RestHandle();
    RestHandle(const RestHandle&) = delete;
    RestHandle& operator=(const RestHandle&) = delete;

    // Asks the client to cancel its request; does not wait for it.
    void Cancel();
    // Non-blocking. True once the request ended with status 200 (even while
    // its body is still arriving) or with a runtime error (logged); false while
    // it runs and, forever, after any other status. Other errors, e.g.
    // pplx::task_canceled, reach the caller.
    bool IsDone();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace tvo
