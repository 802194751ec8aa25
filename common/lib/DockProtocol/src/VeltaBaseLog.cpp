// The Velta base's log: asked for, downloaded, cut at the host's tick and
// streamed into the named pipe that the camera's log collector reads.
// The log can be tens of megabytes, so it is never read into memory whole:
// trimming works on a read-only mapping, and the pipe is fed in chunks.

#include <DockProtocol/DockProtoVelta.h>

#include "DockProtoVeltaImpl.h"

#include <FileDescriptor/FileDescriptor.h>
#include <FileSystem/SafeFile.h>
#include <HttpRest/HttpClient.h>
#include <Logger/LogClient.h>
#include <MappedFile/MappedFile.h>

#include <cpprest/http_msg.h>

#include <fcntl.h>
#include <pthread.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace tvo {
namespace {

constexpr std::size_t kChunk = std::size_t{256} * 1024;
constexpr off_t kLargeLog = off_t{8} * 1024 * 1024;
constexpr int kLargePipe = 1024 * 1024;  // what any process may ask for by default

using RC = DockProtoIF::ReturnCode;

// Keeps SIGPIPE from this thread while the pipe is written, so that a log
// collector that goes away shows as EPIPE instead of ending the camera's
// process. The host's own signal disposition stays untouched: a SIGPIPE that
// our writes raised is taken off the pending set before the mask is restored.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        pendingBefore = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    }
    ~SigpipeGuard() {
        if (raised && !pendingBefore) {
            const timespec none{0, 0};
            while (sigtimedwait(&pipeOnly, nullptr, &none) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

    void NoteBrokenPipe() { raised = true; }

private:
    sigset_t pipeOnly;
    sigset_t previous;
    bool pendingBefore = false;
    bool raised = false;
};

// The write end of the log pipe, with a stream's sticky failure state.
class PipeWriter {
public:
    // Blocks until a reader has opened the pipe, as a pipe stream would.
    // The pipe lives in a shared folder: a symlink planted at its name is
    // not followed, and anything but a FIFO is not written.
    PipeWriter(const std::string& path, const FileCalls& calls) : calls(calls) {
        int fd;
        do {
            fd = calls.open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            Fail(errno);
            return;
        }
        pipe.Reset(fd);
        struct stat info {};
        if (::fstat(pipe.Get(), &info) != 0 || !S_ISFIFO(info.st_mode)) {
            pipe.Reset();
            Fail(EINVAL);
        }
    }

    bool Failed() const { return error != 0; }

    // Copies everything from source into the pipe, kernel to kernel where
    // the file system allows it.
    void CopyFrom(int source) {
        if (Failed()) {
            return;
        }
        // A log of many megabytes goes through a larger pipe, in a sixteenth
        // of the turns between this thread and the collector. A smaller one
        // keeps the system's pipe: what sits in the pipe when the collector
        // goes away is lost without an error, and that stays small next to
        // the log. Best effort.
        struct stat info {};
        if (::fstat(source, &info) == 0 && info.st_size > kLargeLog) {
            (void)::fcntl(pipe.Get(), F_SETPIPE_SZ, kLargePipe);
        }
        SigpipeGuard guard;
        bool spliceWorks = true;
        std::vector<char> buffer;
        for (;;) {
            ssize_t moved = -1;
            if (spliceWorks) {
                moved = calls.splice(source, pipe.Get(), kChunk);
                if (moved < 0 && (errno == EINVAL || errno == ENOSYS)) {
                    spliceWorks = false;
                    continue;
                }
            } else {
                if (buffer.empty()) {
                    buffer.resize(kChunk);
                }
                moved = calls.read(source, buffer.data(), buffer.size());
                if (moved > 0 && !WriteAll(buffer.data(), static_cast<std::size_t>(moved), guard)) {
                    return;
                }
            }
            if (moved == 0) {
                return;
            }
            if (moved < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno == EPIPE) {
                    guard.NoteBrokenPipe();
                }
                Fail(errno);
                return;
            }
        }
    }

private:
    bool WriteAll(const char* data, std::size_t size, SigpipeGuard& guard) {
        while (size > 0) {
            const ssize_t written = calls.write(pipe.Get(), data, size);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno == EPIPE) {
                    guard.NoteBrokenPipe();
                }
                Fail(errno);
                return false;
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

    void Fail(int number) {
        error = number;
        PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "Log pipe: " << std::strerror(number);
    }

    const FileCalls& calls;
    FileDescriptor pipe;
    int error = 0;
};

}  // namespace

void DockProtoVeltaImpl::GetVeltaLog() {
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Copying velta log to  " << files.baseLogCopy;
    const auto client = MakeClient(endpoints.logDownloadTimeout);
    client->setMaxReplySize(endpoints.logDownloadLimit);
    if (client->download(files.baseLogCopy)) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "We downloaded the velta log from the velta ";
    } else {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "We failed to download the velta log from the velta ";
    }
}

RC DockProtoVelta::DoRequestBaseLog(unsigned int tick) {
    PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Sending RequestBaseLog to base...";
    try {
        rest::RequestBaseLogElement request;
        request.sysTick = tick;
        const auto client = impl->MakeClient(impl->endpoints.logRequestTimeout);
        web::http::http_response response =
            client->request("PUT", DockProtoVeltaImpl::QueryFor(request.kType), request.ToJson().serialize()).get();
        if (response.status_code() != web::http::status_codes::OK) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest)
                << "From the K410 to the Velta we failed to send a request to get a copy of the velta log, "
                   "status code = "
                << response.status_code();
            return response.status_code() == web::http::status_codes::BadRequest ? RC::NotSupported : RC::Failed;
        }
        const std::string body = response.extract_string().get();
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "Received response: [" << body << "]";
        if (body == impl->logReadyReply) {
            return RC::Ok;
        }
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "No match: Received response: [" << body << "]"
                                                  << " Expected: [" << impl->logReadyReply << "]";
        return RC::InProgress;
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "Failed to send RequestBaseLog message to base, exception: " << e.what();
        return RC::Failed;
    }
}

std::uint32_t DockProtoVelta::TrimBaseLogFile(unsigned int tick) {
    if (tick == 0) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "1st run since camera booted, just copy the whole file.";
        return 0;
    }
    // The copies live in a shared folder: only a regular file is read.
    const FileCalls& calls = *impl->files.calls;
    const FileDescriptor source = OpenRegularFile(impl->files.baseLogCopy, calls);
    // A copy that did not open maps nothing (EBADF) and says so.
    const MappedFile log(source.Get(), impl->files.baseLogCopy, false);
    const std::string marker = std::to_string(tick);
    const std::string_view whole = log.GetView(0, MappedFile::npos);
    if (!log.IsOpen() || (log.Size() != 0 && whole.data() == nullptr)) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "VeltaLog file failed to trim ";
        return 0;
    }
    const auto position = whole.size() > marker.size() ? whole.find(marker) : std::string_view::npos;
    if (position == std::string_view::npos) {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "file marker not found, just keep the whole velta log file.";
        return 0;
    }
    const std::string_view kept = whole.substr(position);
    // A new file renamed into place: whatever sits at the copy's name is
    // replaced, never written through. The kernel copies the bytes (tens of
    // megabytes, often), and the copy is read once, at once: no sync.
    std::string error;
    ReplaceOptions scratch;
    scratch.durable = false;
    scratch.calls = impl->files.calls;
    if (!ReplaceFileFromRange(impl->files.trimmedBaseLogCopy, source.Get(), position, kept.size(), scratch, error)) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "TrimmedLog file could not be written: " << error;
        // An older copy must not go out in its place: without a copy the
        // transfer fails where it opens it.
        calls.unlink(impl->files.trimmedBaseLogCopy.c_str());
    }
    PMX_LOG(LogLevel::Detail, kLogCategoryRest)
        << " TrimmedLog file has " << kept.size() << " size and original file had " << whole.size() << " size.";
    return 1;
}

RC DockProtoVelta::DoDownloadBaseLog(unsigned int tick) {
    impl->GetVeltaLog();
    const std::uint32_t trimmedFlag = TrimBaseLogFile(tick);

    const std::string& pipePath = impl->logPipePath;
    const FileCalls& calls = *impl->files.calls;
    // Made fresh: whatever was at the name, planted or left over, goes. A
    // name with a NUL byte would name a shorter path: nothing is touched.
    const bool usable = IsUsablePath(pipePath);
    if (usable && calls.unlink(pipePath.c_str()) != 0 && errno == EISDIR) {
        ::rmdir(pipePath.c_str());
    }
    const int made = !usable ? EINVAL : calls.mkfifo(pipePath.c_str(), 0644) == 0 ? 0 : errno;
    // Something that outlived the removal is tolerated here; only a FIFO is
    // ever written (PipeWriter), so anything else fails the transfer below.
    if (made != 0 && made != EEXIST) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Velta protocol failed to create named pipe at " << pipePath << " error " << std::strerror(made);
        return RC::Failed;
    }

    const FileDescriptor downloaded = OpenRegularFile(impl->files.baseLogCopy, calls);
    if (!downloaded.IsOpen()) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << "VeltaLog file not found at " << impl->files.baseLogCopy;
        return RC::Failed;
    }

    PipeWriter pipe(pipePath, calls);
    if (trimmedFlag == 1) {
        const FileDescriptor trimmed = OpenRegularFile(impl->files.trimmedBaseLogCopy, calls);
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "TrimmedLog file is being moved into svlogd...";
        if (!trimmed.IsOpen()) {
            PMX_LOG(LogLevel::Info, kLogCategoryRest) << "TrimmedLog file failed to open...";
            return RC::Failed;
        }
        pipe.CopyFrom(trimmed.Get());
        if (pipe.Failed()) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "TrimmedLog file failed to transfer into svlogd...";
            return RC::Failed;
        }
    } else {
        PMX_LOG(LogLevel::Info, kLogCategoryRest) << "currentLog file is being moved into svlogd...";
        pipe.CopyFrom(downloaded.Get());
        if (pipe.Failed()) {
            PMX_LOG(LogLevel::Error, kLogCategoryRest) << "currentLog file failed to transfer into svlogd...";
            return RC::Failed;
        }
    }
    return RC::Ok;
}

}  // namespace tvo
