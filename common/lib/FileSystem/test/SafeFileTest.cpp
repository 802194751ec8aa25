// Files at names where something may have been planted.

#include "FileSystem/SafeFile.h"

#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <utility>

namespace tvo {
namespace {

namespace fs = std::filesystem;

std::size_t EntriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(SafeFile, ReplacingNeverWritesThroughWhatWasPlanted) {
    TempDir dir;
    const std::string victim = dir.file("victim").string();
    WriteFile(victim, "precious");
    const std::string copy = dir.file("copy").string();
    fs::create_symlink(victim, copy);

    std::string error;
    ASSERT_TRUE(ReplaceFile(copy, "from the dock", {}, error)) << error;
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_FALSE(fs::is_symlink(copy));
    EXPECT_EQ(ReadFile(copy), "from the dock");
    EXPECT_EQ(EntriesIn(dir.path()), 2u) << "no temporary file stays behind";

    // A FIFO at the name is replaced too, without waiting for a reader.
    const std::string fifo = dir.file("fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(ReplaceFile(fifo, "x", {}, error)) << error;
    EXPECT_TRUE(fs::is_regular_file(fifo));
}

TEST(SafeFile, ARangeOfAnotherFileReplacesThePathOrNothingDoes) {
    TempDir dir;
    const std::string log = dir.file("log").string();
    WriteFile(log, "0123456789abcdef");
    const std::string trimmed = dir.file("trimmed").string();
    WriteFile(trimmed, "an older copy");
    const FileDescriptor source = OpenRegularFile(log);
    ASSERT_TRUE(source.IsOpen());
    std::string error;
    ReplaceOptions scratch;
    scratch.durable = false;
    ASSERT_TRUE(ReplaceFileFromRange(trimmed, source.Get(), 10, 6, scratch, error)) << error;
    EXPECT_EQ(ReadFile(trimmed), "abcdef");
    ASSERT_TRUE(ReplaceFileFromRange(trimmed, source.Get(), 0, 0, scratch, error)) << error;
    EXPECT_EQ(ReadFile(trimmed), "");

    // A range past the source's end (the file shrank meanwhile) fails and
    // leaves the path as it was, with no new file beside it.
    WriteFile(trimmed, "kept");
    EXPECT_FALSE(ReplaceFileFromRange(trimmed, source.Get(), 10, 100, scratch, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(trimmed), "kept");
    EXPECT_EQ(EntriesIn(dir.path()), 2u);
}

TEST(SafeFile, SystemFilesKeepModeAndAFailureLeavesNothingBehind) {
    TempDir dir;
    const std::string hosts = dir.file("hosts").string();
    WriteFile(hosts, "old");
    ASSERT_EQ(::chmod(hosts.c_str(), 0604), 0);
    std::string error;
    ReplaceOptions system;
    system.keepOwnerAndMode = true;
    system.rewriteInPlace = true;
    ASSERT_TRUE(ReplaceFile(hosts, "new", system, error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(hosts.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(ReadFile(hosts), "new");

    // A folder where the file cannot be made.
    EXPECT_FALSE(ReplaceFile(dir.file("missing/file").string(), "x", {}, error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_FALSE(ReplaceFile(std::string("a\0b", 3), "x", {}, error));
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(SafeFile, OnlyRegularFilesOpenForReading) {
    TempDir dir;
    const std::string regular = dir.file("regular").string();
    WriteFile(regular, "data");
    const std::string fifo = dir.file("fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    FileDescriptor opened = OpenRegularFile(regular);
    ASSERT_TRUE(opened.IsOpen());
    char buffer[8] = {};
    EXPECT_EQ(::read(opened.Get(), buffer, sizeof buffer), 4);
    // Neither of these may block or count as a file.
    EXPECT_FALSE(OpenRegularFile(fifo).IsOpen());
    EXPECT_FALSE(OpenRegularFile(dir.path().string()).IsOpen());
    EXPECT_FALSE(OpenRegularFile(dir.file("missing").string()).IsOpen());
    // The NUL would make the system call open "regular" instead.
    EXPECT_FALSE(OpenRegularFile(regular + std::string("\0.bak", 5)).IsOpen());
}

// The system's calls, with writes cut to a few bytes each and the named call
// failing with the errno.
struct FailingCalls {
    std::shared_ptr<FileCalls> calls = std::make_shared<FileCalls>(*FileCalls::System());
    std::size_t writes = 0;

    FailingCalls() {
        const auto real = FileCalls::System();
        calls->write = [this, real](int fd, const void* data, std::size_t size) {
            ++writes;
            return real->write(fd, data, std::min<std::size_t>(size, 3));
        };
        calls->copyFileRange = [real](int in, loff_t* offset, int out, std::size_t size) {
            return real->copyFileRange(in, offset, out, std::min<std::size_t>(size, 3));
        };
    }
};

TEST(SafeFile, FailingCallsLeaveThePathAsItWas) {
    TempDir dir;
    const std::string path = dir.file("hosts").string();
    WriteFile(path, "127.0.0.1\tlocalhost\n");

    // Writes that take a few bytes at a time still write the whole content.
    FailingCalls shortWrites;
    ReplaceOptions options;
    options.calls = shortWrites.calls;
    std::string error;
    ASSERT_TRUE(ReplaceFile(path, "0123456789", options, error)) << error;
    EXPECT_EQ(ReadFile(path), "0123456789");
    EXPECT_GE(shortWrites.writes, 4u);
    const std::string source = dir.file("source").string();
    WriteFile(source, "abcdefghij");
    const FileDescriptor from = OpenRegularFile(source, *shortWrites.calls);
    ASSERT_TRUE(from.IsOpen());
    ASSERT_TRUE(ReplaceFileFromRange(path, from.Get(), 2, 7, options, error)) << error;
    EXPECT_EQ(ReadFile(path), "cdefghi");
    // Between file systems the kernel does not copy: read and written here.
    auto otherDisk = std::make_shared<FileCalls>(*shortWrites.calls);
    otherDisk->copyFileRange = [](int, loff_t*, int, std::size_t) -> ssize_t {
        errno = EXDEV;
        return -1;
    };
    options.calls = otherDisk;
    ASSERT_TRUE(ReplaceFileFromRange(path, from.Get(), 1, 9, options, error)) << error;
    EXPECT_EQ(ReadFile(path), "bcdefghij");
    // A source that ends before the range does fails the copy.
    EXPECT_FALSE(ReplaceFileFromRange(path, from.Get(), 5, 50, options, error));
    EXPECT_EQ(ReadFile(path), "bcdefghij");

    // A full disk, a folder that may not be written, a rename refused: the
    // old content stays, nothing new is left beside it, and the error names
    // the cause.
    WriteFile(path, "kept");
    auto noSpace = std::make_shared<FileCalls>(*FileCalls::System());
    noSpace->write = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    noSpace->copyFileRange = [](int, loff_t*, int, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    auto noCreate = std::make_shared<FileCalls>(*FileCalls::System());
    noCreate->open = [](const char*, int, mode_t) {
        errno = EACCES;
        return -1;
    };
    auto noRename = std::make_shared<FileCalls>(*FileCalls::System());
    // As over a file mounted at the path.
    noRename->rename = [](const char*, const char*) {
        errno = EBUSY;
        return -1;
    };
    for (const auto& [calls, cause] : {std::pair{noSpace, "No space left on device"},
                                       std::pair{noCreate, "Permission denied"}, std::pair{noRename, "busy"}}) {
        options.calls = calls;
        error.clear();
        EXPECT_FALSE(ReplaceFile(path, "lost", options, error));
        EXPECT_NE(error.find(cause), std::string::npos) << error;
        EXPECT_FALSE(ReplaceFileFromRange(path, from.Get(), 0, 4, options, error));
        EXPECT_EQ(ReadFile(path), "kept");
        EXPECT_EQ(EntriesIn(dir.path()), 2u) << cause;
    }
    // A system file that cannot be replaced by a rename is rewritten in place;
    // one whose new file cannot be made either.
    options.rewriteInPlace = true;
    for (const auto& calls : {noRename, noCreate}) {
        options.calls = calls;
        const bool rewritten = ReplaceFile(path, "in place", options, error);
        EXPECT_EQ(rewritten, calls == noRename) << error;
    }
    EXPECT_EQ(ReadFile(path), "in place");
    EXPECT_EQ(EntriesIn(dir.path()), 2u);

    // In place, only a regular file is written: not a FIFO, even with a
    // reader, nor a folder.
    options.calls = noRename;
    const std::string fifo = dir.file("fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const FileDescriptor reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    EXPECT_FALSE(ReplaceFile(fifo, "x", options, error));
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
    fs::create_directory(dir.file("folder"));
    EXPECT_FALSE(ReplaceFile(dir.file("folder").string(), "x", options, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    // A relative name is made in the working folder; a name with a NUL byte
    // is no path at all.
    options.calls = noCreate;
    options.rewriteInPlace = false;
    EXPECT_FALSE(ReplaceFile("relative-name", "x", options, error));
    EXPECT_NE(error.find(" in .:"), std::string::npos) << error;
    EXPECT_FALSE(ReplaceFileFromRange(std::string("a\0b", 3), from.Get(), 0, 1, options, error));
    EXPECT_EQ(error, "unusable path");
}

// A write that a signal breaks off is made again.
TEST(SafeFile, InterruptedWritesAreMadeAgain) {
    TempDir dir;
    const std::string path = dir.file("copy").string();
    auto calls = std::make_shared<FileCalls>(*FileCalls::System());
    int interrupted = 0;
    calls->write = [&](int fd, const void* data, std::size_t size) -> ssize_t {
        if (interrupted++ % 2 == 0) {
            errno = EINTR;
            return -1;
        }
        return FileCalls::System()->write(fd, data, std::min<std::size_t>(size, 4));
    };
    ReplaceOptions options;
    options.calls = calls;
    std::string error;
    ASSERT_TRUE(ReplaceFile(path, "twelve bytes", options, error)) << error;
    EXPECT_EQ(ReadFile(path), "twelve bytes");
    EXPECT_EQ(interrupted, 6);
}

}  // namespace
}  // namespace tvo
