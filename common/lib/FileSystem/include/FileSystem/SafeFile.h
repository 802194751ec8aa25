#pragma once
// Files written and read at names that someone else may have planted
// something at (a symlink, a FIFO, a directory): shared folders such as /tmp,
// and system files that a dock's answers end up in.

#include <Common/FileCalls.h>
#include <FileSystem/Export.h>
#include "FileDescriptor/FileDescriptor.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tvo {

struct PMX_FILESYSTEM_API ReplaceOptions {
    // Mode of a new file, less the umask.
    mode_t mode = 0666;
    // For system files: a regular file already at the path keeps its mode
    // and owner. Never for shared folders, where the file there may be
    // someone else's.
    bool keepOwnerAndMode = false;
    // For system files: when the rename cannot replace the path (a file
    // bind-mounted over it, a folder the process may not write), the file is
    // rewritten in place instead.
    bool rewriteInPlace = false;
    // The content reaches the disk before it replaces the path. A scratch
    // copy that is read once and thrown away need not wait for that.
    bool durable = true;
    // The calls the file is made with; none: the system's.
    std::shared_ptr<const FileCalls> calls;
};

// Writes content into a new file in the folder of path (O_CREAT|O_EXCL, so
// nothing already there is followed), then renames it over path: readers see
// the old or the new content, and whatever was planted at path is replaced,
// never written through. Returns false with the reason in error; the new file
// never stays behind.
PMX_FILESYSTEM_API bool ReplaceFile(const std::string& path, std::string_view content, const ReplaceOptions& options,
                                    std::string& error);

// As ReplaceFile, the content being length bytes of the file open at source
// from offset on, copied by the kernel where the file systems allow it (no
// pass through this process's memory). rewriteInPlace does not apply. Fails
// when source ends before the range does.
PMX_FILESYSTEM_API bool ReplaceFileFromRange(const std::string& path, int source, std::uint64_t offset,
                                             std::uint64_t length, const ReplaceOptions& options, std::string& error);

// Opens path for reading only when it is a regular file. O_NONBLOCK keeps a
// FIFO from blocking the caller until a writer shows up. Holds no descriptor
// when the path is missing, unreadable or not a regular file.
PMX_FILESYSTEM_API FileDescriptor OpenRegularFile(const std::string& path);
// As above, opened with these calls.
PMX_FILESYSTEM_API FileDescriptor OpenRegularFile(const std::string& path, const FileCalls& calls);

// True when the text can name a file: not empty and without a NUL byte, which
// would make the system call see a different, shorter path.
PMX_FILESYSTEM_API bool IsUsablePath(std::string_view path);

}  // namespace tvo
