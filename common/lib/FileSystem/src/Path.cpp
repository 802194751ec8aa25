#include "FileSystem/Path.h"

#include "Logger/LogClient.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tvo {
namespace {}  // namespace

Path::Path(std::string_view path, std::unique_ptr<LinuxApiIF> api) : path(path), api(std::move(api)) {}

bool Path::Exists() const {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

const std::string& Path::Get() const {
    return path;
}

bool Path::Remove() const {
    if (path.empty()) {
        PMX_LOG(LogLevel::Warning, kLogCategoryDock) << "cannot remove an empty path";
        return false;
    }
    if (std::remove(path.c_str()) == 0 || errno == ENOENT) {
        return true;
    }
    const int error = errno;
    PMX_LOG(LogLevel::Warning, kLogCategoryDock) << "cannot remove " << path << ": " << std::strerror(error);
    return false;
}

}  // namespace tvo
