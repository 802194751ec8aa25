#pragma once
// std::mutex with the annotations that libstdc++ leaves out, so that clang
// can check the members it guards, and a lock for one scope.

#include <Common/ThreadAnnotations.h>

#include <mutex>

namespace tvo {

class PMX_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() PMX_ACQUIRE() { mutex.lock(); }
    void unlock() PMX_RELEASE() { mutex.unlock(); }
    bool try_lock() PMX_TRY_ACQUIRE(true) { return mutex.try_lock(); }

private:
    std::mutex mutex;
};

// Holds the mutex from construction to the end of the scope.
class PMX_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) PMX_ACQUIRE(mutex) : mutex(mutex) { mutex.lock(); }
    ~MutexLock() PMX_RELEASE() { mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex;
};

}  // namespace tvo
