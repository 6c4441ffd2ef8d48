#pragma once
// Heap allocations of a benchmark program: AllocationCount.cpp replaces the global
// operator new and delete with versions that count every allocation made by a thread
// that has not set AllocationsIgnored.
#include <atomic>
#include <cstdint>

namespace bench {

extern std::atomic<uint64_t> Allocations;
// Set on a thread whose allocations belong to the harness, not to what is measured.
extern thread_local bool AllocationsIgnored;

} // namespace bench
