#pragma once
// A whole file mapped into memory. Opening never throws: a file that cannot
// be mapped leaves the object closed and logs why.

#include <MappedFile/Export.h>
#include <cstddef>
#include <string_view>

namespace tvo {

class PMX_MAPPEDFILE_API MappedFile {
public:
    static constexpr std::size_t npos = std::size_t(-1);

    // writable maps the file shared and writable; otherwise read-only.
    MappedFile(std::string_view path, bool writable);
    // Maps the file open at fd, which stays the caller's (the mapping does not
    // need it); name is for the log. fd must be open for reading, and for
    // writing too when writable.
    MappedFile(int fd, std::string_view name, bool writable);
    ~MappedFile();

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // An empty regular file is open with size 0.
    bool IsOpen() const;
    std::size_t Size() const;
    // Up to length bytes from offset; clipped to the end of the file, empty
    // when offset is at or past the end or the file is not open. The view is
    // valid while this object lives; shrinking the file meanwhile is not
    // supported.
    std::string_view GetView(std::size_t offset = 0, std::size_t length = npos) const;

private:
    void Map(int fd, std::string_view path, bool writable);
    void Unmap() noexcept;

    void* data = nullptr;
    std::size_t size = 0;
    bool open = false;
};

}  // namespace tvo
