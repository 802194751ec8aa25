#pragma once
// The file system calls the camera makes on the files a dock's answers end up
// in (downloads, copies, the log pipe, the hosts file, firmware markers), in
// one record so that a test can count them and make any of them fail. Each
// behaves as the system call of its name: -1 (or less than asked, for a
// write) with errno set.

#include <Common/Export.h>

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>

namespace tvo {

struct PMX_COMMON_API FileCalls {
    /// open(2), always close-on-exec; the caller retries EINTR.
    std::function<int(const char* path, int flags, mode_t mode)> open;
    /// read(2).
    std::function<ssize_t(int fd, void* buffer, std::size_t size)> read;
    /// write(2); may write less than asked.
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    /// copy_file_range(2) into out's own position: EXDEV, EINVAL, ENOSYS or
    /// EOPNOTSUPP send the caller to read and write.
    std::function<ssize_t(int in, loff_t* inOffset, int out, std::size_t size)> copyFileRange;
    /// splice(2) between the two descriptors' own positions: EINVAL or ENOSYS
    /// send the caller to read and write.
    std::function<ssize_t(int in, int out, std::size_t size)> splice;
    /// rename(2).
    std::function<int(const char* from, const char* to)> rename;
    /// unlink(2).
    std::function<int(const char* path)> unlink;
    /// mkfifo(3).
    std::function<int(const char* path, mode_t mode)> mkfifo;

    /// Fills every call with the real one.
    FileCalls();

    /// The real calls, made once; safe from any thread.
    static const std::shared_ptr<const FileCalls>& System();
};

}  // namespace tvo
