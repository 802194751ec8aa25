#include "FileSystem/Path.h"

#include "Logger/LogClient.h"
#include "TestSupport/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tvo {
namespace {

namespace fs = std::filesystem;

TEST(PathTest, ExistsAndRemoveFollowTheRealFile) {
    const TempDir folder;
    const fs::path& dir = folder.path();
    ScopedLogCapture capture;

    const Path file((dir / "marker").string());
    EXPECT_FALSE(file.Exists());
    EXPECT_TRUE(file.Remove()) << "removing what is not there is not a failure";
    std::ofstream(file.Get()) << "x";
    EXPECT_TRUE(file.Exists());
    EXPECT_TRUE(file.Remove());
    EXPECT_FALSE(file.Exists());
    EXPECT_FALSE(Path("").Exists());
    EXPECT_FALSE(Path("").Remove());
    EXPECT_TRUE(capture.Sink().Contains("cannot remove an empty path"));

    fs::create_symlink(dir / "nowhere", dir / "link");
    EXPECT_FALSE(Path((dir / "link").string()).Exists()) << "a dangling link leads nowhere";

    std::ofstream(dir / "f") << "x";
    const Path busy(dir.string());
    EXPECT_FALSE(busy.Remove());
    EXPECT_TRUE(busy.Exists());
    EXPECT_TRUE(capture.Sink().Contains("cannot remove " + dir.string()));
}

}  // namespace
}  // namespace tvo
