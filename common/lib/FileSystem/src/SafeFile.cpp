#include "FileSystem/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

namespace tvo {
namespace {

std::string ErrorText(const std::string& what, int number) {
    return what + ": " + std::strerror(number);
}

int OpenRetrying(const FileCalls& calls, const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = calls.open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(const FileCalls& calls, int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = calls.write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A fresh name beside path; O_EXCL makes a collision fail instead of follow.
FileDescriptor CreateBeside(const FileCalls& calls, const std::string& path, mode_t mode, std::string& created,
                            int& error) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = path + ".new-";
        for (int i = 0; i < 8; ++i) {
            name += letters[random() % (sizeof letters - 1)];
        }
        const int fd = OpenRetrying(calls, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            created = std::move(name);
            return FileDescriptor(fd);
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = errno;
    return FileDescriptor();
}

bool RewriteInPlace(const FileCalls& calls, const std::string& path, std::string_view content, std::string& error) {
    FileDescriptor file(OpenRetrying(calls, path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.IsOpen()) {
        error = ErrorText("cannot open " + path, errno);
        return false;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    if (!WriteAll(calls, file.Get(), content) || ::ftruncate(file.Get(), static_cast<off_t>(content.size())) != 0) {
        error = ErrorText("cannot rewrite " + path, errno);
        return false;
    }
    return true;
}

bool IsMountRoot(const std::string& path) {
    struct statx info {};
    return ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) == 0 &&
           (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

const FileCalls& CallsOf(const ReplaceOptions& options) {
    return options.calls ? *options.calls : *FileCalls::System();
}

}  // namespace

namespace {

// What became of writing a new file beside a path and renaming it over.
enum class Beside { Done, NotCreated, NotWritten, NotRenamed };

// Creates a new file beside path, fills it, syncs it when asked and renames
// it over path. number holds the errno of a failed step; error the message
// of a failed fill.
template <typename Fill>
Beside WriteBesideAndRename(const FileCalls& calls, const std::string& path, const ReplaceOptions& options, Fill fill,
                            int& number, std::string& error) {
    std::string created;
    FileDescriptor file = CreateBeside(calls, path, options.mode, created, number);
    if (!file.IsOpen()) {
        return Beside::NotCreated;
    }
    struct stat existing {};
    if (options.keepOwnerAndMode && ::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Best effort: a process that may not chown still writes the content.
        if (::fchown(file.Get(), existing.st_uid, existing.st_gid) != 0 ||
            ::fchmod(file.Get(), existing.st_mode & 07777) != 0) {
            // The content matters more than who owns it.
        }
    }
    if (!fill(file.Get()) || (options.durable && ::fsync(file.Get()) != 0)) {
        error = ErrorText("cannot write " + created, errno);
        calls.unlink(created.c_str());
        return Beside::NotWritten;
    }
    file.Reset();
    if (calls.rename(created.c_str(), path.c_str()) != 0) {
        number = errno;
        calls.unlink(created.c_str());
        return Beside::NotRenamed;
    }
    return Beside::Done;
}

// Copies length bytes of source from offset into target, in the kernel
// where the file systems allow it.
bool CopyRange(const FileCalls& calls, int source, std::uint64_t offset, std::uint64_t length, int target) {
    auto from = static_cast<loff_t>(offset);
    bool inKernel = true;
    std::string buffer;
    while (length > 0) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(length, std::uint64_t{1} << 30));
        ssize_t moved;
        if (inKernel) {
            moved = calls.copyFileRange(source, &from, target, step);
            if (moved < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(std::min<std::size_t>(step, std::size_t{256} * 1024));
            moved = ::pread(source, buffer.data(), buffer.size(), from);
            if (moved > 0 &&
                !WriteAll(calls, target, std::string_view(buffer.data(), static_cast<std::size_t>(moved)))) {
                return false;
            }
            from += moved > 0 ? moved : 0;
        }
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            if (moved == 0) {
                errno = EIO;  // the source ended before the range did
            }
            return false;
        }
        length -= static_cast<std::uint64_t>(moved);
    }
    return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view content, const ReplaceOptions& options, std::string& error) {
    if (!IsUsablePath(path)) {
        error = "unusable path";
        return false;
    }
    const FileCalls& calls = CallsOf(options);
    const bool rewriteInPlace = options.rewriteInPlace;
    // A file mounted over the path cannot be renamed over; don't even leave
    // a passing new file in its folder.
    if (rewriteInPlace && IsMountRoot(path)) {
        return RewriteInPlace(calls, path, content, error);
    }
    int number = 0;
    switch (WriteBesideAndRename(
        calls, path, options, [&calls, content](int fd) { return WriteAll(calls, fd, content); }, number, error)) {
        case Beside::Done: return true;
        case Beside::NotWritten: return false;
        case Beside::NotCreated:
            if (rewriteInPlace) {
                return RewriteInPlace(calls, path, content, error);
            }
            error = ErrorText("cannot create a file beside " + path + " in " + Folder(path), number);
            return false;
        case Beside::NotRenamed:
            if (rewriteInPlace &&
                (number == EBUSY || number == EXDEV || number == EPERM || number == EACCES || number == EROFS)) {
                return RewriteInPlace(calls, path, content, error);
            }
            error = ErrorText("cannot rename a new file to " + path, number);
            return false;
    }
    return false;  // GCOVR_EXCL_LINE: every outcome is answered above
}

bool ReplaceFileFromRange(const std::string& path, int source, std::uint64_t offset, std::uint64_t length,
                          const ReplaceOptions& options, std::string& error) {
    if (!IsUsablePath(path)) {
        error = "unusable path";
        return false;
    }
    const FileCalls& calls = CallsOf(options);
    int number = 0;
    const auto copy = [&calls, source, offset, length](int fd) { return CopyRange(calls, source, offset, length, fd); };
    switch (WriteBesideAndRename(calls, path, options, copy, number, error)) {
        case Beside::Done: return true;
        case Beside::NotWritten: return false;
        case Beside::NotCreated:
            error = ErrorText("cannot create a file beside " + path + " in " + Folder(path), number);
            return false;
        case Beside::NotRenamed: error = ErrorText("cannot rename a new file to " + path, number); return false;
    }
    return false;  // GCOVR_EXCL_LINE: every outcome is answered above
}

FileDescriptor OpenRegularFile(const std::string& path) {
    return OpenRegularFile(path, *FileCalls::System());
}

FileDescriptor OpenRegularFile(const std::string& path, const FileCalls& calls) {
    if (!IsUsablePath(path)) {
        return FileDescriptor();
    }
    FileDescriptor file(OpenRetrying(calls, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return FileDescriptor();
    }
    // Reads of a regular file never block anyway; the caller gets an ordinary one.
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return file;
}

bool IsUsablePath(std::string_view path) {
    return !path.empty() && path.find('\0') == std::string_view::npos;
}

}  // namespace tvo
