#include "Common/LinuxApi.h"

#include "Logger/LogClient.h"

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace tvo {
namespace {

class SystemLinuxApi : public LinuxApiIF {
public:
    int ioctl(int fd, unsigned long request, char* arg) override {
        // Some requests return a positive count; callers only want success.
        return ::ioctl(fd, request, arg) < 0 ? -1 : 0;
    }
};

}  // namespace

std::unique_ptr<LinuxApiIF> LinuxApi() {
    return std::make_unique<SystemLinuxApi>();
}

FileDescriptor OpenIoctlSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        // GCOVR_EXCL_START: only a process out of descriptors gets here
        const int error = errno;
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "cannot create ioctl socket: " << std::strerror(error);
        // GCOVR_EXCL_STOP
    }
    return FileDescriptor(fd);
}

}  // namespace tvo
