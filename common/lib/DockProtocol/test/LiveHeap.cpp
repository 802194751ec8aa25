// The live C++ heap of a soak: every C++ allocation of the process, the
// libraries' too, counted as it is made and freed, apart from what the
// allocator keeps cached for its threads. Linked into a program by its use of
// LiveHeapKiB(). Left to the sanitizers' own allocator where they run.

#include "TortureRoads.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

// Every C++ allocation of the process, the libraries' too, counted as it is
// made and freed: the heap the roads hold, apart from what the allocator
// keeps cached for its threads.
namespace {
std::atomic<long long> liveBytes{0};

void* Counted(void* block) {
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    liveBytes.fetch_add(static_cast<long long>(::malloc_usable_size(block)), std::memory_order_relaxed);
    return block;
}

void Uncounted(void* block) noexcept {
    if (block != nullptr) {
        liveBytes.fetch_sub(static_cast<long long>(::malloc_usable_size(block)), std::memory_order_relaxed);
        std::free(block);
    }
}

}  // namespace

namespace tvo::torture {
std::size_t LiveHeapKiB() {
    return static_cast<std::size_t>(std::max<long long>(0, liveBytes.load()) / 1024);
}
}  // namespace tvo::torture

void* operator new(std::size_t size) {
    return Counted(std::malloc(size == 0 ? 1 : size));
}
void* operator new[](std::size_t size) {
    return Counted(std::malloc(size == 0 ? 1 : size));
}
void* operator new(std::size_t size, std::align_val_t align) {
    return Counted(std::aligned_alloc(static_cast<std::size_t>(align), (size + static_cast<std::size_t>(align) - 1) &
                                                                           ~(static_cast<std::size_t>(align) - 1)));
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept {
    Uncounted(block);
}
void operator delete[](void* block) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    Uncounted(block);
}

#else

namespace tvo::torture {
std::size_t LiveHeapKiB() {
    return HeapInUseKiB();
}
}  // namespace tvo::torture

#endif
