#pragma once
// What every wrapper of a recording writes to.

#include <Recording/Recorder.h>

#include "JsonText.h"

#include <Common/Mutex.h>
#include <FileDescriptor/FileDescriptor.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

namespace tvo::Recording {

struct Recorder::State {
    State(const std::string& path, const RecorderOptions& options);

    // Stamps the event with its time and thread and writes it (or keeps it,
    // when redacting). From any thread.
    void Emit(web::json::value event);
    // Numbers for matching a request with its reply, a call with its return.
    std::int64_t NextId() { return ++lastId; }
    bool Finish(std::string& error);

    const RecorderOptions options;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    const std::thread::id host = std::this_thread::get_id();

private:
    std::atomic<std::int64_t> lastId{0};
    Mutex mutex;
    FileDescriptor file PMX_GUARDED_BY(mutex);
    bool holding PMX_GUARDED_BY(mutex) = false;  // redacting: lines wait for the end
    std::string held PMX_GUARDED_BY(mutex);
    std::string writeError PMX_GUARDED_BY(mutex);
    bool finished PMX_GUARDED_BY(mutex) = false;
    std::map<std::thread::id, std::string> threads PMX_GUARDED_BY(mutex);

    std::string ThreadLabel() PMX_REQUIRES(mutex);
    void Write(const std::string& text) PMX_REQUIRES(mutex);
};

}  // namespace tvo::Recording
