#include "Common/FileCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace tvo {

FileCalls::FileCalls()
    // Close-on-exec always: a child the host starts inherits none of these.
    : open([](const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }),
      read([](int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); }),
      write([](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }),
      copyFileRange([](int in, loff_t* inOffset, int out, std::size_t size) {
          return ::copy_file_range(in, inOffset, out, nullptr, size, 0);
      }),
      splice(
          [](int in, int out, std::size_t size) { return ::splice(in, nullptr, out, nullptr, size, SPLICE_F_MOVE); }),
      rename([](const char* from, const char* to) { return std::rename(from, to); }),
      unlink([](const char* path) { return ::unlink(path); }),
      mkfifo([](const char* path, mode_t mode) { return ::mkfifo(path, mode); }) {}

const std::shared_ptr<const FileCalls>& FileCalls::System() {
    static const std::shared_ptr<const FileCalls> calls = std::make_shared<const FileCalls>();
    return calls;
}

}  // namespace tvo
