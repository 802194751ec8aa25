#include "RecorderState.h"
#include "WholeFile.h"

#include <Recording/Recording.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tvo::Recording {

Recorder::State::State(const std::string& path, const RecorderOptions& options) : options(options) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot write the recording " + path + ": " + std::strerror(errno));
    }
    web::json::value header = web::json::value::object(true);
    header["recording"] = web::json::value::string("dock-road");
    header["version"] = web::json::value::number(kVersion);
    header["dock"] = web::json::value::string(options.dock);
    header["simulated"] = web::json::value::boolean(options.simulated);
    header["redacted"] = web::json::value::boolean(options.redact);
    header["tool"] = web::json::value::string(options.tool);
    MutexLock lock(mutex);
    holding = options.redact;
    file.Reset(fd);
    threads[host] = "host";
    Write(Line(header) + "\n");
}

std::string Recorder::State::ThreadLabel() {
    const auto id = std::this_thread::get_id();
    const auto found = threads.find(id);
    if (found != threads.end()) {
        return found->second;
    }
    std::string label = "t" + std::to_string(threads.size() + 1);
    threads.emplace(id, label);
    return label;
}

void Recorder::State::Write(const std::string& text) {
    if (holding) {
        held += text;
        return;
    }
    // Each line goes out whole as it comes, so a road that dies leaves
    // everything before it readable.
    if (writeError.empty() && !WriteAll(file.Get(), text)) {
        writeError = std::string("the recording could not be written: ") + std::strerror(errno);
    }
}

void Recorder::State::Emit(web::json::value event) {
    const auto t =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    // The order of fields a person reads first: time, thread, kind.
    web::json::value line = web::json::value::object(true);
    line["t"] = web::json::value::number(static_cast<std::int64_t>(t));
    MutexLock lock(mutex);
    if (finished) {
        return;
    }
    line["thread"] = web::json::value::string(ThreadLabel());
    for (auto& field : event.as_object()) {
        line[field.first] = std::move(field.second);
    }
    Write(Line(line) + "\n");
}

bool Recorder::State::Finish(std::string& error) {
    MutexLock lock(mutex);
    if (!finished) {
        finished = true;
        if (holding) {
            holding = false;
            Write(Redact(held));
            held.clear();
        }
        file.Reset();
    }
    error = writeError;
    return writeError.empty();
}

Recorder::Recorder(const std::string& path, const RecorderOptions& options)
    : state(std::make_shared<State>(path, options)) {}

Recorder::~Recorder() {
    std::string error;
    state->Finish(error);
}

bool Recorder::Finish(std::string& error) {
    return state->Finish(error);
}

}  // namespace tvo::Recording
