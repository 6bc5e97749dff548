// The counter behind the render path's "no allocation": every way the
// program's own code takes heap memory counts, once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "allocation_counter.h"

namespace tavren::test {
namespace {

// Stores that escape, so that no allocation is optimised away.
void* volatile sink[8];

TEST(AllocationCounter, CountsEveryKindOfHeapAllocationOnce) {
    struct alignas(64) Wide {
        char bytes[64];
    };
    void* (*volatile allocate)(std::size_t) = std::malloc;
    void* (*volatile allocateZeroed)(std::size_t, std::size_t) = std::calloc;
    void* (*volatile reallocate)(void*, std::size_t) = std::realloc;
    StartCountingAllocations();
    sink[0] = allocate(16);
    sink[1] = allocateZeroed(4, 4);
    sink[0] = reallocate(sink[0], 4096);
    sink[2] = new int(1);
    sink[3] = new int[3];
    sink[4] = new Wide;     // aligned operator new
    sink[5] = new Wide[2];  // aligned operator new[]
    const long counted = StopCountingAllocations();
    std::free(sink[0]);
    std::free(sink[1]);
    delete static_cast<int*>(sink[2]);
    delete[] static_cast<int*>(sink[3]);
    delete static_cast<Wide*>(sink[4]);
    delete[] static_cast<Wide*>(sink[5]);
    EXPECT_EQ(counted, 7);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(sink[4]) % 64, 0u);
}

}  // namespace
}  // namespace tavren::test
