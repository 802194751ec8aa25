#pragma once
// Reads version files: "key=value" lines with the keys name, build, version
// and location; lines starting with '#' are comments, blanks around keys and
// values are ignored.

#include <Common/Export.h>
#include <fstream>
#include <string>
#include <string_view>

namespace tvo {

class PMX_COMMON_API VersionInfo {
public:
    enum class Field : int { Name = 0, Build = 1, Version = 2, Location = 3 };

    // The field's value; "" when the file or the field is absent.
    static std::string GetField(Field field, std::string_view path);
    // "<version> (build <build>)" from the file at path (the camera's own
    // version file when path is empty). Only one present: that one alone,
    // "<version>" or "(build <build>)"; neither: "".
    static std::string GetVersionAndBuildNumberText(std::string_view path);
    // True when the stream holds a ustar archive header at its start. The
    // stream's position and state are left as they were.
    static bool IsTarFileCheck(std::ifstream& stream);
    // The same test on an open descriptor, read from offset 0 without moving
    // the descriptor's position.
    static bool IsTarFileCheck(int fd);
};

}  // namespace tvo
