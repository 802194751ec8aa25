#include "MappedFile/MappedFile.h"

#include "Logger/LogClient.h"
#include "TestSupport/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <utility>

namespace tvo {
namespace {

namespace fs = std::filesystem;

class MappedFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).string();
    }

    const TempDir folder;
    const fs::path& dir = folder.path();
};

TEST_F(MappedFileTest, ViewsAreClippedToTheFile) {
    const std::string content("0123456789\0tail", 15);
    const MappedFile file(Write("log", content), false);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), content.size());
    EXPECT_EQ(file.GetView(0, MappedFile::npos), content);
    EXPECT_EQ(file.GetView(3, 4), "3456");
    EXPECT_EQ(file.GetView(11, 100), "tail");
    EXPECT_EQ(file.GetView(14, MappedFile::npos), "l");
    EXPECT_TRUE(file.GetView(15).empty());
    EXPECT_TRUE(file.GetView(MappedFile::npos, MappedFile::npos).empty());

    const MappedFile empty(Write("empty", ""), false);
    EXPECT_TRUE(empty.IsOpen());
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_TRUE(empty.GetView().empty());
}

TEST_F(MappedFileTest, UnmappableFilesStayClosedAndLog) {
    ScopedLogCapture capture;
    for (const std::string& path : {(dir / "missing").string(), dir.string(), std::string()}) {
        const MappedFile file(path, false);
        EXPECT_FALSE(file.IsOpen()) << path;
        EXPECT_TRUE(file.GetView().empty());
    }
    EXPECT_TRUE(capture.Sink().Contains("missing: open: No such file or directory"));
    EXPECT_TRUE(capture.Sink().Contains("not a regular file"));

    // A descriptor the caller opened: mapped while the caller keeps it; none
    // maps nothing.
    const std::string path = Write("opened", "by the caller");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const MappedFile opened(fd, path, false);
    // Read-only, it cannot be mapped for writing.
    const MappedFile notWritable(fd, "read-only", true);
    ::close(fd);
    EXPECT_EQ(opened.GetView(), "by the caller");
    EXPECT_FALSE(notWritable.IsOpen());
    EXPECT_TRUE(capture.Sink().Contains("read-only: mmap: Permission denied"));
    EXPECT_FALSE(MappedFile(-1, "none", false).IsOpen());
    EXPECT_TRUE(capture.Sink().Contains("none: fstat: Bad file descriptor"));
}

TEST_F(MappedFileTest, WritableMappingIsSharedAndMovesOnce) {
    const std::string path = Write("data", "abc");
    MappedFile file(path, true);
    ASSERT_TRUE(file.IsOpen());
    std::ofstream(path, std::ios::in | std::ios::out | std::ios::binary) << "X";
    EXPECT_EQ(file.GetView(), "Xbc");

    MappedFile other(Write("other", "zz"), false);
    other = std::move(file);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(MappedFile(std::move(other)).GetView(), "Xbc");
    EXPECT_FALSE(other.IsOpen());
}

}  // namespace
}  // namespace tvo
