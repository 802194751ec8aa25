#include "FileDescriptor/FileDescriptor.h"

#include <unistd.h>

#include <utility>

namespace tvo {

FileDescriptor::FileDescriptor() noexcept = default;

FileDescriptor::FileDescriptor(int fd, std::function<int(int)> closer)
    : fd(fd < 0 ? -1 : fd), closer(std::move(closer)) {}

FileDescriptor::~FileDescriptor() {
    Close();
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : fd(std::exchange(other.fd, -1)), closer(std::move(other.closer)) {
    other.closer = nullptr;
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Close();
        fd = std::exchange(other.fd, -1);
        closer = std::move(other.closer);
        other.closer = nullptr;
    }
    return *this;
}

int FileDescriptor::Get() const noexcept {
    return fd;
}

bool FileDescriptor::IsOpen() const noexcept {
    return fd >= 0;
}

int FileDescriptor::Release() noexcept {
    return std::exchange(fd, -1);
}

void FileDescriptor::Reset(int newFd) {
    if (newFd == fd) {
        return;  // closing it first would leave us owning a dead number
    }
    Close();
    fd = newFd < 0 ? -1 : newFd;
}

void FileDescriptor::Close() noexcept {
    const int held = std::exchange(fd, -1);
    if (held < 0) {
        return;
    }
    // Linux releases the descriptor even when close reports EINTR, so a
    // retry could close a number another thread has just been given.
    if (closer) {
        try {
            closer(held);
        } catch (...) {
        }
    } else {
        ::close(held);
    }
}

}  // namespace tvo
