#include "allocation_counter.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/platform.h"

namespace {

// No thread_local here: MinGW's thread-local storage takes its memory from
// malloc, which would count itself without end.
std::atomic<uint32_t> countingThread{0};  // 0: nobody counts
std::atomic<long> count{0};

void Count() {
    const uint32_t thread = countingThread.load(std::memory_order_relaxed);
    if (thread != 0 && thread == tavren::platform::CurrentThreadId()) count.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace tavren::test {

void StartCountingAllocations() {
    count = 0;
    countingThread = platform::CurrentThreadId();
}

long StopCountingAllocations() {
    countingThread = 0;
    return count;
}

}  // namespace tavren::test

// The C allocation functions, through the linker's --wrap (set on every
// program that links this library): calls to malloc reach __wrap_malloc,
// which reaches the C library's as __real_malloc.
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* p, std::size_t size);

void* __wrap_malloc(std::size_t size) {
    Count();
    return __real_malloc(size);
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
    Count();
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* p, std::size_t size) {
    Count();
    return __real_realloc(p, size);
}
}

namespace {

// Each allocation of the operators counts once: they take the C library's
// functions directly, not the counted ones.
void* Allocate(std::size_t size) { return __real_malloc(size ? size : 1); }

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    const std::size_t a = static_cast<std::size_t>(alignment);
#if defined(_WIN32)
    return _aligned_malloc(size ? size : 1, a);
#else
    void* p = nullptr;
    return posix_memalign(&p, a < sizeof(void*) ? sizeof(void*) : a, size ? size : 1) == 0 ? p : nullptr;
#endif
}

void FreeAligned(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace

// The replaced operators pair malloc with free; GCC cannot see that they match.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    Count();
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    Count();
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    Count();
    if (void* p = AllocateAligned(size, alignment)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    Count();
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t& tag) noexcept {
    return operator new(size, alignment, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
