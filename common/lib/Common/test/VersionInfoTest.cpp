#include "Common/VersionInfo.h"

#include "TestSupport/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

namespace tvo {
namespace {

namespace fs = std::filesystem;
using Field = VersionInfo::Field;

class VersionInfoTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).string();
    }

    // One-file ustar archive: header block, data block, two zero blocks.
    std::string WriteTar(const std::string& name) {
        char header[512] = {};
        std::strcpy(header, "hello.txt");
        std::strcpy(header + 100, "0000644");
        std::strcpy(header + 124, "00000000005");
        header[156] = '0';
        std::memcpy(header + 257,
                    "ustar\0"
                    "00",
                    8);
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (char c : header) {
            sum += static_cast<unsigned char>(c);
        }
        std::snprintf(header + 148, 8, "%06o", sum);
        return Write(name, std::string(header, 512) + "hello" + std::string(507 + 1024, '\0'));
    }

    const TempDir folder;
    const fs::path& dir = folder.path();
};

TEST_F(VersionInfoTest, ReadsFieldsIgnoringCommentsBlanksAndLineEndings) {
    const std::string path = Write("version",
                                   "# camera build\r\n\n  name = camera-fw \r\nversion=2.7.1\r\n"
                                   "build\t=\t1234\n#version=9.9.9\nlocation=/data/pkg=1.tar\n"
                                   "version=3.0.0\ngarbage line\n");
    EXPECT_EQ(VersionInfo::GetField(Field::Name, path), "camera-fw");
    EXPECT_EQ(VersionInfo::GetField(Field::Version, path), "2.7.1");
    EXPECT_EQ(VersionInfo::GetField(Field::Location, path), "/data/pkg=1.tar");
    EXPECT_EQ(VersionInfo::GetField(static_cast<Field>(7), path), "");
    EXPECT_EQ(VersionInfo::GetVersionAndBuildNumberText(path), "2.7.1 (build 1234)");

    const std::string missing = (dir / "missing").string();
    EXPECT_EQ(VersionInfo::GetField(Field::Version, missing), "");
    EXPECT_EQ(VersionInfo::GetVersionAndBuildNumberText(missing), "");
    EXPECT_EQ(VersionInfo::GetVersionAndBuildNumberText(Write("v", "version=1.0\n")), "1.0");
    EXPECT_EQ(VersionInfo::GetVersionAndBuildNumberText(Write("b", "build=77\n")), "(build 77)");
}

TEST_F(VersionInfoTest, TarCheckFindsUstarMagicAndLeavesTheStreamAsItWas) {
    std::ifstream tar(WriteTar("image.tar"), std::ios::binary);
    tar.seekg(600);
    EXPECT_TRUE(VersionInfo::IsTarFileCheck(tar));
    EXPECT_EQ(tar.tellg(), std::streampos(600));
    tar.ignore(std::numeric_limits<std::streamsize>::max());
    ASSERT_TRUE(tar.eof());
    EXPECT_TRUE(VersionInfo::IsTarFileCheck(tar));
    EXPECT_TRUE(tar.eof());

    std::ifstream text(Write("notes.txt", std::string(2048, 'u')), std::ios::binary);
    EXPECT_FALSE(VersionInfo::IsTarFileCheck(text));
    // The magic is there but the header block is cut short.
    std::ifstream shortFile(Write("short", std::string(257, '\0') + "ustar"), std::ios::binary);
    EXPECT_FALSE(VersionInfo::IsTarFileCheck(shortFile));
    EXPECT_TRUE(shortFile.good());
    std::ifstream missing((dir / "missing.tar").string());
    EXPECT_FALSE(VersionInfo::IsTarFileCheck(missing));
}

}  // namespace
}  // namespace tvo
