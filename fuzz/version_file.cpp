// The version-file reader on any file content. A value never holds a line
// break or blanks at its ends, and the version text is built from the
// values. No value holds a NUL byte: it would make a path shorter.

#include "FuzzSupport.h"

#include <Common/VersionInfo.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

using tvo::VersionInfo;

std::string versionFile;

bool IsTrimmedLine(const std::string& value) {
    if (value.find('\n') != std::string::npos) {
        return false;
    }
    constexpr const char* kBlanks = " \t\r\n";
    return value.empty() || (value.find_first_of(kBlanks) != 0 && value.find_last_of(kBlanks) != value.size() - 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    versionFile = tvo::fuzz::ScratchDir().file("version");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvo::WriteFile(versionFile, std::string(reinterpret_cast<const char*>(data), size));

    const std::string version = VersionInfo::GetField(VersionInfo::Field::Version, versionFile);
    const std::string build = VersionInfo::GetField(VersionInfo::Field::Build, versionFile);
    const std::string name = VersionInfo::GetField(VersionInfo::Field::Name, versionFile);
    const std::string location = VersionInfo::GetField(VersionInfo::Field::Location, versionFile);
    for (const std::string* value : {&version, &build, &name, &location}) {
        tvo::fuzz::Require(IsTrimmedLine(*value), "a value with a line break or outer blanks");
    }
    tvo::fuzz::Require(location.find('\0') == std::string::npos, "an image location holds a NUL byte");

    std::string expected = version;
    if (!build.empty()) {
        expected += (expected.empty() ? "" : " ") + std::string("(build ") + build + ")";
    }
    tvo::fuzz::Require(VersionInfo::GetVersionAndBuildNumberText(versionFile) == expected,
                       "the version text is not built from the values");

    std::ifstream stream(versionFile, std::ios::binary);
    const bool isTar = VersionInfo::IsTarFileCheck(stream);
    tvo::fuzz::Require(isTar == (size >= 512 && std::string(reinterpret_cast<const char*>(data) + 257, 5) == "ustar"),
                       "the tar test disagrees with the header");
    return 0;
}
