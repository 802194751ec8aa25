// HttpClient::download: the body goes from the socket into a temporary file
// piece by piece as it arrives, so memory stays bounded; its size is bounded
// too.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <random>
#include <stdexcept>
#include <vector>

#include "Common/FileCalls.h"
#include "HttpClientImpl.h"
#include "Logger/LogClient.h"

namespace tvo {
namespace {

std::string TextOf(const std::exception_ptr& why) {
    try {
        std::rethrow_exception(why);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {              // GCOVR_EXCL_LINE: only our own exceptions fail a download
        return "unknown error";  // GCOVR_EXCL_LINE
    }
}

// A uniquely named file beside the destination, open for writing; removed
// unless committed.
class PartialFile {
public:
    PartialFile(const std::string& destination, const FileCalls& calls) : calls(calls) {
        static thread_local std::mt19937_64 random{std::random_device{}()};
        static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        // O_EXCL: nothing already at the name (a planted link) is followed.
        int error = 0;
        for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
            std::string name = destination + ".part";
            for (int i = 0; i < 6; ++i) {
                name += letters[random() % (sizeof letters - 1)];
            }
            do {
                descriptor = calls.open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            } while (descriptor < 0 && errno == EINTR);
            error = errno;
            if (descriptor >= 0) {
                path = std::move(name);
            } else if (error != EEXIST) {
                break;
            }
        }
        if (descriptor < 0) {
            throw std::runtime_error("cannot create " + destination + ".part: " + std::strerror(error));
        }
    }
    ~PartialFile() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        if (!path.empty()) {
            calls.unlink(path.c_str());
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // For the sink, which may outlive the download call by the time its
    // exchange takes to wind down.
    int TakeDescriptor() {
        const int taken = descriptor;
        descriptor = -1;
        return taken;
    }

    void CommitTo(const std::string& destination) {
        if (calls.rename(path.c_str(), destination.c_str()) != 0) {
            throw std::runtime_error("cannot rename to " + destination + ": " + std::strerror(errno));
        }
        path.clear();
    }

private:
    const FileCalls& calls;
    std::string path;
    int descriptor = -1;
};

// Writes the body of a 200 reply into the file; the outcome ("" for success)
// goes to the waiting download call. Owns the descriptor from then on.
class FileSink final : public ReplySink {
public:
    FileSink(int descriptor, std::shared_ptr<const FileCalls> calls)
        : descriptor(descriptor), calls(std::move(calls)) {}
    ~FileSink() override { ::close(descriptor); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    std::future<std::string> Outcome() { return outcome.get_future(); }

    void Headers(const ReplyHead& head) override {
        if (head.status != 200) {
            throw std::runtime_error("answered with status " + std::to_string(head.status));
        }
    }

    void Body(std::string_view piece) override {
        const char* data = piece.data();
        std::size_t left = piece.size();
        while (left > 0) {
            const ssize_t written = calls->write(descriptor, data, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;  // GCOVR_EXCL_LINE: a signal in the middle of one write cannot be timed in a test
                }
                throw std::runtime_error(std::string("cannot write the file: ") + std::strerror(errno));
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }

    // The kernel moves the body into the file only when nobody watches the
    // writes.
    int BodyFile() const override { return calls == FileCalls::System() ? descriptor : -1; }
    void Complete() override { Settle(std::string()); }
    void Failed(std::exception_ptr why) override { Settle(TextOf(why)); }

private:
    void Settle(const std::string& problem) {
        if (!settled.exchange(true)) {
            outcome.set_value(problem);
        }
    }

    int descriptor;
    std::shared_ptr<const FileCalls> calls;
    std::promise<std::string> outcome;
    std::atomic<bool> settled{false};
};

}  // namespace

bool HttpClient::download(const std::string& destinationPath) {
    try {
        PartialFile partial(destinationPath, *impl->files);
        auto sink = std::make_unique<FileSink>(partial.TakeDescriptor(), impl->files);
        std::future<std::string> outcome = sink->Outcome();
        impl->Start("GET", std::string(), std::string(), std::move(sink), std::size_t{256} * 1024);
        const std::string problem = outcome.get();
        if (!problem.empty()) {
            throw std::runtime_error(problem);
        }
        partial.CommitTo(destinationPath);
        return true;
    } catch (const std::exception& e) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Download of " << impl->baseUri << " to " << destinationPath << " failed: " << e.what();
        return false;
    }
}

}  // namespace tvo
