#pragma once
// A file system path that can be asked about the file behind it.

#include <FileSystem/Export.h>
#include "Common/LinuxApi.h"

#include <memory>
#include <string>
#include <string_view>

namespace tvo {

class PMX_FILESYSTEM_API PathIF {
public:
    virtual ~PathIF() = default;
    virtual bool Exists() const = 0;
    virtual const std::string& Get() const = 0;
};

class PMX_FILESYSTEM_API Path : public PathIF {
public:
    // api is kept for system calls that may be faked; it may be null.
    explicit Path(std::string_view path, std::unique_ptr<LinuxApiIF> api = nullptr);

    // True when stat(2) finds something at the path (a dangling symlink does
    // not count).
    bool Exists() const override;
    const std::string& Get() const override;
    // Removes the file or empty directory; true when it is gone afterwards,
    // including when it was never there. Failures are logged.
    bool Remove() const;

private:
    std::string path;
    std::unique_ptr<LinuxApiIF> api;
};

}  // namespace tvo
