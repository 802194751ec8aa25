#pragma once
// Small helpers for tests and benchmarks: private temporary directories,
// free loopback ports and whole-file reads and writes.

#include <filesystem>
#include <string>

namespace tvo {

// A fresh directory under std::filesystem::temp_directory_path(), removed with
// everything in it when the object goes away. Throws std::runtime_error when
// the directory cannot be made.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir; }
    // The path of a file (or sub-path) inside the directory; nothing is created.
    std::filesystem::path file(const std::string& name) const { return dir / name; }

private:
    std::filesystem::path dir;
};

// A port that was free on 127.0.0.1 a moment ago: the kernel picks it for a
// socket bound to port 0, which is closed again before returning. Throws
// std::runtime_error when no socket can be bound.
int FreeTcpPort();
int FreeUdpPort();

// How often piece stands in text (overlapping occurrences count).
std::size_t CountOccurrences(const std::string& text, const std::string& piece);

// The whole content of a file; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// Replaces the file's content; throws std::runtime_error when it cannot be written.
void WriteFile(const std::filesystem::path& path, const std::string& text);

}  // namespace tvo
