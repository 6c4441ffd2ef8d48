#include "AllocationCount.h"

#include <cstdlib>
#include <new>

namespace bench {
std::atomic<uint64_t> Allocations{0};
thread_local bool AllocationsIgnored = false;
} // namespace bench

namespace {
void CountAllocation() {
    if (!bench::AllocationsIgnored) bench::Allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

void* operator new(std::size_t Size) {
    CountAllocation();
    if (void* P = std::malloc(Size ? Size : 1)) return P;
    throw std::bad_alloc();
}
void* operator new[](std::size_t Size) {
    return operator new(Size);
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
    CountAllocation();
    return std::malloc(Size ? Size : 1);
}
// The counting operator new takes its memory from malloc, so free is its match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* P) noexcept {
    std::free(P);
}
void operator delete[](void* P) noexcept {
    std::free(P);
}
void operator delete(void* P, std::size_t) noexcept {
    std::free(P);
}
void operator delete[](void* P, std::size_t) noexcept {
    std::free(P);
}
#pragma GCC diagnostic pop
