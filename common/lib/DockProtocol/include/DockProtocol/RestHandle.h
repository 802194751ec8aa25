/// \file
/// `tvo::RestHandle`, the host's hold on one outstanding request to a dock.
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

class HttpClientIF;

/// Owner of one outstanding asynchronous request to a dock.
///
/// Handed to the host in DockProtoIF::AsyncResult by the Velta dock's
/// SetUploadStatusAsync() and SetChargeStatusAsync(). Poll IsDone() from the
/// host's thread; destroy the handle to cancel the request (also when the
/// base never answers). The request runs on cpprestsdk's pool; no host
/// code runs there. One handle is used from one thread at a time; it may
/// outlive the protocol object that made it.
class PMX_DOCKPROTOCOL_API RestHandle {
public:
    /// The task of the request's response.
    using ResponseTask = pplx::task<web::http::http_response>;

    // Takes ownership of both. Throws std::runtime_error "Invalid HTTP Client"
    // or "Invalid HTTP Response" when one is missing (the client is checked
    // first). Sends and waits for nothing.
    /// Takes ownership of the client and of its request's task; sends and waits
    /// for nothing. Made by the library; hosts only receive handles.
    /// \throws std::runtime_error "Invalid HTTP Client" or "Invalid HTTP Response"
    ///         when one of them is missing (the client is checked first).
    RestHandle(std::unique_ptr<HttpClientIF> client, std::unique_ptr<ResponseTask> response);
    // Cancels the request (also a finished one), then frees the task before
    // the client.
    /// Cancels the request (harmless when it has finished) and frees it.
    ~RestHandle();
    /// Not copyable: one owner per request.
    RestHandle(const RestHandle&) = delete;
    /// Not copyable.
    RestHandle& operator=(const RestHandle&) = delete;

    // Asks the client to cancel its request; does not wait for it.
    /// Asks the client to cancel its request, without waiting; IsDone() then
    /// soon answers true.
    void Cancel();
    // Non-blocking. True once the request ended with status 200 (even while
    // its body is still arriving) or with a runtime error (logged); false while
    // it runs and, forever, after any other status. Other errors, e.g.
    // pplx::task_canceled, reach the caller.
    /// Whether the request has ended, without blocking.
    ///
    /// True once the dock answered 200 (even while the body still arrives), or
    /// once the request ended with a `std::runtime_error` (cancelled by Cancel(),
    /// a reply over the size limit; logged). False while it runs, and for good
    /// after any other status: stop polling after a time limit of your own.
    /// \throws std::exception any other failure of the request, for example a
    ///         refused connection (`web::http::http_exception`) or
    ///         `pplx::task_canceled`.
    bool IsDone();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace tvo
