#pragma once
// The system calls that tests must be able to fake.

#include <Common/Export.h>
#include "FileDescriptor/FileDescriptor.h"

#include <memory>

namespace tvo {

class PMX_COMMON_API LinuxApiIF {
public:
    virtual ~LinuxApiIF() = default;
    // Returns 0 on success; anything else is a failure with errno set.
    virtual int ioctl(int fd, unsigned long request, char* arg) = 0;
};

// The real system calls.
PMX_COMMON_API std::unique_ptr<LinuxApiIF> LinuxApi();

// An AF_INET datagram socket, the handle that interface ioctls go through.
// Holds none (and logs) when the socket cannot be created.
PMX_COMMON_API FileDescriptor OpenIoctlSocket();

}  // namespace tvo
