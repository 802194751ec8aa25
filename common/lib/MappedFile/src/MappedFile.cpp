#include "MappedFile/MappedFile.h"

#include "FileDescriptor/FileDescriptor.h"
#include "Logger/LogClient.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace tvo {
namespace {

void LogFailure(std::string_view path, std::string_view what, int error) {
    PMX_LOG(LogLevel::Error, kLogCategoryDock) << "cannot map " << path << ": " << what << ": " << std::strerror(error);
}

}  // namespace

MappedFile::MappedFile(std::string_view path, bool writable) {
    const std::string name(path);
    // The mapping outlives the descriptor, so it is closed on every path.
    const FileDescriptor fd(::open(name.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    if (!fd.IsOpen()) {
        LogFailure(path, "open", errno);
        return;
    }
    Map(fd.Get(), path, writable);
}

MappedFile::MappedFile(int fd, std::string_view name, bool writable) {
    Map(fd, name, writable);
}

void MappedFile::Map(int fd, std::string_view path, bool writable) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        LogFailure(path, "fstat", errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        LogFailure(path, "not a regular file", EINVAL);
        return;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > std::numeric_limits<std::size_t>::max()) {
        // GCOVR_EXCL_START: a 32-bit camera only; no size reaches this on 64 bits
        LogFailure(path, "too large", EFBIG);
        return;
        // GCOVR_EXCL_STOP
    }
    const auto length = static_cast<std::size_t>(info.st_size);
    if (length == 0) {
        open = true;  // mmap refuses zero bytes; an empty view says it all
        return;
    }
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* mapped = ::mmap(nullptr, length, protection, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        LogFailure(path, "mmap", errno);
        return;
    }
    data = mapped;
    size = length;
    open = true;
}

MappedFile::~MappedFile() {
    Unmap();
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      size(std::exchange(other.size, 0)),
      open(std::exchange(other.open, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Unmap();
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        open = std::exchange(other.open, false);
    }
    return *this;
}

bool MappedFile::IsOpen() const {
    return open;
}

std::size_t MappedFile::Size() const {
    return size;
}

std::string_view MappedFile::GetView(std::size_t offset, std::size_t length) const {
    if (data == nullptr || offset >= size) {
        return {};
    }
    const std::size_t available = size - offset;
    return {static_cast<const char*>(data) + offset, length < available ? length : available};
}

void MappedFile::Unmap() noexcept {
    if (data != nullptr) {
        ::munmap(data, size);
    }
    data = nullptr;
    size = 0;
    open = false;
}

}  // namespace tvo
