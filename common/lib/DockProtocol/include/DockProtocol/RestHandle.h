#pragma once

namespace tvo {

// Owner of one outstanding asynchronous request to a dock. Destroying the
// handle cancels its request.
class RestHandle {
public:
    virtual ~RestHandle() = default;
};

}  // namespace tvo
