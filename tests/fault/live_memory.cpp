// Replaces the global allocation operators with counting ones; the aligned
// forms keep the library's own pair, which this program does not count.
#include "tests/fault/live_memory.h"

#include <dirent.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> g_blocks{0};
std::atomic<int64_t> g_bytes{0};

void* Allocate(size_t size) {
    void* p = malloc(size ? size : 1);
    if (p) {
        g_blocks.fetch_add(1, std::memory_order_relaxed);
        g_bytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    }
    return p;
}

void Release(void* p) {
    if (!p)
        return;
    g_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_bytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    free(p);
}

void* AllocateOrThrow(size_t size) {
    void* p = Allocate(size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Release(p);
}

namespace korvel_test {

LiveMemory CurrentLiveMemory() {
    return {g_blocks.load(), g_bytes.load()};
}

}  // namespace korvel_test
