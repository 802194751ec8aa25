#include "HttpRest/HttpThreadPool.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <stdexcept>
#include <string>

#include <pplx/threadpool.h>

#include "Logger/LogClient.h"

namespace tvo {
namespace {

constexpr std::size_t kDefaultThreads = 2;

std::mutex poolMutex;
std::size_t chosenThreads = kDefaultThreads;
bool poolCreated = false;  // guarded by poolMutex
std::atomic<bool> poolReady{false};
std::atomic<std::size_t> createdThreads{0};

}  // namespace

void SetHttpThreadPoolSize(std::size_t threads) {
    if (threads == 0) {
        throw std::invalid_argument("HTTP thread pool size must be at least 1");
    }
    std::lock_guard<std::mutex> lock(poolMutex);
    if (poolCreated) {
        throw std::logic_error("HTTP thread pool already running with " + std::to_string(createdThreads.load()) +
                               " threads; SetHttpThreadPoolSize must come before the first HttpClient or HttpServer");
    }
    chosenThreads = threads;
}

void EnsureHttpThreadPool() {
    if (poolReady.load(std::memory_order_acquire)) {
        return;
    }
    std::lock_guard<std::mutex> lock(poolMutex);
    if (poolCreated) {
        return;
    }
    poolCreated = true;
    try {
        crossplat::threadpool::initialize_with_threads(chosenThreads);
        createdThreads = chosenThreads;
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "HTTP thread pool started with " << chosenThreads << " threads";
    } catch (const std::exception& e) {
        // Someone used cpprestsdk before us; its pool stays as it is.
        PMX_LOG(LogLevel::Warning, kLogCategoryRest)
            << "HTTP thread pool was already running, size not changed: " << e.what();
    }
    poolReady.store(true, std::memory_order_release);
}

void DrainHttpThreadPool() {
    if (!poolReady.load(std::memory_order_acquire)) {
        return;
    }
    auto& service = crossplat::threadpool::shared_instance().service();
    for (int round = 0; round < 3; ++round) {
        // The marker runs once everything queued before it has been picked up.
        auto reached = std::make_shared<std::promise<void>>();
        std::future<void> done = reached->get_future();
        service.post([reached] { reached->set_value(); });
        if (done.wait_for(std::chrono::milliseconds(300)) != std::future_status::ready) {
            PMX_LOG(LogLevel::Warning, kLogCategoryRest) << "HTTP thread pool still busy, not drained";
            return;
        }
        // Lets the work picked up just before the marker finish.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::size_t HttpThreadPoolSize() {
    return createdThreads.load();
}

}  // namespace tvo
