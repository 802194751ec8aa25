#pragma once
// Small helpers for tests and benchmarks: private temporary directories,
// free loopback ports, whole-file reads and writes, and a named-pipe reader.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <thread>

namespace tvo {

// A fresh directory under std::filesystem::temp_directory_path(), removed with
// everything in it when the object goes away. Throws std::runtime_error when
// the directory cannot be made.
class TempDir {
public:
    TempDir();
    // The same, under parent instead.
    explicit TempDir(const std::filesystem::path& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir; }
    // The path of a file (or sub-path) inside the directory; nothing is created.
    std::filesystem::path file(const std::string& name) const { return dir / name; }

private:
    std::filesystem::path dir;
};

// A TCP port on 127.0.0.1 that stays this process's: the kernel picks it for
// a socket bound to port 0, and that socket stays bound (not listening, with
// address reuse) until the process ends. No other process's port-0 bind or
// outgoing connection gets the port meanwhile, so tests running side by side
// cannot take it between the pick and the listen; a server of this process
// that sets address reuse (ours all do) still listens on it, and a connection
// to it is refused until then. A process that holds 128 ports gets held
// ones again that nothing of it listens on, longest unused first. Throws
// std::runtime_error when no socket can be bound.
int FreeTcpPort();
// A UDP port that was free a moment ago; not held, as a held socket would
// take the datagrams sent to it.
int FreeUdpPort();

// Runs this test program again inside new namespaces (unshare's options, such
// as "--net --mount --propagation private"), running only the named test, a
// DISABLED_ one that the ordinary runs skip; through emulator when it is not
// empty (qemu-user). Lets a test change links, routes or the hosts file of a
// private copy of the machine. Throws std::runtime_error when the program
// cannot be started.
struct InnerTestRun {
    bool unavailable = false;  // no such namespaces here
    bool passed = false;
    std::string printed;
};
InnerTestRun RunInNamespaces(const std::string& unshareOptions, const std::string& test, const std::string& emulator);

// What a program started now would inherit from this process, besides its
// standard streams: one entry per descriptor, by what it leads to
// ("socket:[123]", "pipe:[45]", a path). Throws when no child can be started.
std::set<std::string> DescriptorsAChildInherits();

// How often piece stands in text (overlapping occurrences count).
std::size_t CountOccurrences(const std::string& text, const std::string& piece);

// The whole content of a file; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// Replaces the file's content; throws std::runtime_error when it cannot be written.
void WriteFile(const std::filesystem::path& path, const std::string& text);

// A collector on a named pipe, on a thread of its own: waits for the path to
// appear as a pipe, opens it and hands every chunk read to onChunk, until the
// writer closes its end, onChunk returns false (a collector that goes away),
// the time limit passes, or Finish() was called and nothing more arrives. A
// leftover pipe that the writer replaces while the reader idles on it is
// followed to the new one.
class FifoReader {
public:
    using ChunkHandler = std::function<bool(std::string_view chunk)>;

    FifoReader(std::filesystem::path path, ChunkHandler onChunk,
               std::chrono::milliseconds limit = std::chrono::seconds(60));
    ~FifoReader();
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    // The writer is done: returns once the reader has taken what is left and
    // stopped. onChunk is not called after this returns.
    void Finish();

private:
    void Run();

    std::filesystem::path path;
    ChunkHandler onChunk;
    std::chrono::milliseconds limit;
    std::atomic<bool> finished{false};
    std::thread thread;  // last: it runs on the members above
};

}  // namespace tvo
