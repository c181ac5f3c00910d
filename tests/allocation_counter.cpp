// Kept in its own file so that no caller sees the replaced operators inlined.
#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> count{0};
std::atomic<std::size_t> largest{0};
}  // namespace

namespace vantrell::testing {
std::size_t allocationCount() {
    return count.load(std::memory_order_relaxed);
}
void resetLargestAllocation() {
    largest.store(0, std::memory_order_relaxed);
}
std::size_t largestAllocation() {
    return largest.load(std::memory_order_relaxed);
}
}  // namespace vantrell::testing

void* operator new(std::size_t size) {
    count.fetch_add(1, std::memory_order_relaxed);
    std::size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
