#pragma once
// Sole owner of one file descriptor; closes it when destroyed or replaced.

#include <FileDescriptor/Export.h>
#include <functional>

namespace tvo {

class PMX_FILEDESCRIPTOR_API FileDescriptor {
public:
    FileDescriptor() noexcept;
    // A null closer means ::close. A negative fd holds none.
    explicit FileDescriptor(int fd, std::function<int(int)> closer = nullptr);
    ~FileDescriptor();

    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const noexcept;
    bool IsOpen() const noexcept;
    // Gives up ownership without closing; returns the descriptor (or -1).
    int Release() noexcept;
    // Closes the held descriptor and takes fd (same closer) in its place.
    void Reset(int fd = -1);

private:
    void Close() noexcept;

    int fd = -1;
    std::function<int(int)> closer;
};

}  // namespace tvo
