// HttpClient::download: the body goes from the socket into a temporary file
// as it arrives, so memory stays bounded; its size is bounded too.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <cpprest/filestream.h>

#include "BoundedReply.h"
#include "HttpClientImpl.h"
#include "Logger/LogClient.h"

namespace tvo {
namespace {

// A uniquely named file beside the destination; removed unless committed.
class PartialFile {
public:
    explicit PartialFile(const std::string& destination) {
        std::string pattern = destination + ".partXXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            throw std::runtime_error("cannot create " + pattern + ": " + std::strerror(errno));
        }
        // mkstemp makes it private; the result is an ordinary readable file.
        ::fchmod(fd, 0644);
        ::close(fd);
        path = name.data();
    }
    ~PartialFile() {
        if (!path.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const std::string& Path() const { return path; }

    void CommitTo(const std::string& destination) {
        std::filesystem::rename(path, destination);
        path.clear();
    }

private:
    std::string path;
};

// Closes the file stream on every path, so that the partial file is complete
// (or released) before it is renamed or removed.
class StreamCloser {
public:
    explicit StreamCloser(concurrency::streams::ostream& stream) : stream(stream) {}
    ~StreamCloser() {
        try {
            if (stream.is_valid()) {
                stream.close().wait();
            }
        } catch (...) {
            // The file is discarded anyway.
        }
    }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;

private:
    concurrency::streams::ostream& stream;
};

}  // namespace

bool HttpClient::download(const std::string& destinationPath) {
    if (!impl->client) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Download to " << destinationPath << " failed: " << impl->setupError;
        return false;
    }
    try {
        PartialFile partial(destinationPath);
        concurrency::streams::ostream file;
        {
            StreamCloser closer(file);
            file = concurrency::streams::fstream::open_ostream(partial.Path(),
                                                               std::ios::out | std::ios::binary | std::ios::trunc)
                       .get();
            web::http::http_request message = impl->MakeRequest(web::http::methods::GET, std::string());
            const Impl::RequestCancel cancel = impl->NewRequestCancel();
            struct Unlink {
                const Impl::RequestCancel& cancel;
                ~Unlink() { cancel.Release(); }
            } unlink{cancel};
            web::http::http_response response =
                ExplainFailures(impl->client->request(message, cancel.own.get_token()), cancel.outer, impl->baseUri)
                    .get();
            if (response.status_code() != web::http::status_codes::OK) {
                PMX_LOG(LogLevel::Error, kLogCategoryRest)
                    << "Download of " << impl->baseUri << " answered with status " << response.status_code();
                cancel.own.cancel();  // its body is of no use
                return false;
            }
            const std::size_t limit = impl->maxReply.load();
            if (response.headers().content_length() > limit) {
                cancel.own.cancel();
                throw std::runtime_error("reply of " + std::to_string(response.headers().content_length()) +
                                         " bytes is larger than the limit of " + std::to_string(limit) + " bytes");
            }
            CopyBounded(response.body(), file.streambuf(), limit, cancel.own, impl->baseUri).get();
            file.close().get();
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
