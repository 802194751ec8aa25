#include "WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tvo::Recording {

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t wrote = ::write(fd, data.data(), data.size());
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            if (wrote == 0) {
                errno = EIO;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAll(fd, content);
    return ::close(fd) == 0 && written;
}

}  // namespace tvo::Recording
