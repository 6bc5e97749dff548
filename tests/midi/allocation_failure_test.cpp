// Running out of memory while reading must fail the read cleanly: no
// exception out of ReadSong, an empty song, nothing leaked. This binary's
// global operator new can be told to fail after a number of allocations.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "smf_builder.h"

namespace {
std::atomic<long> allocationsLeft{-1};  // negative: never fail
}

namespace {
void* Allocate(std::size_t size) noexcept {
    if (allocationsLeft.load() >= 0 && allocationsLeft.fetch_sub(1) == 0) return nullptr;
    return std::malloc(size ? size : 1);
}
}  // namespace

// Every form is replaced, so that all of them pair with free().
void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
// GCC takes the free() inside a replaced operator delete for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace tavren::test {
namespace {

TEST(ReadSongMemory, EveryAllocationFailureGivesAnEmptySong) {
    Bytes big;
    for (int i = 0; i < 300; ++i) big = big + Bytes{0x01, 0x90, uint8_t(i & 0x7F), 0x64, 0x00, 0xF0, 0x02, 0x11, 0xF7};
    const Bytes file = Smf(480, {big + kEot, Tempo(400000) + big + kEot, big});
    const ReadResult expected = Read(file);
    ASSERT_TRUE(expected.ok);

    int failures = 0;
    for (long budget = 0; budget < 100000; ++budget) {
        MidiSong song;
        allocationsLeft = budget;
        const bool ok = ReadSong(file.data(), uint32_t(file.size()), 44100, song);
        allocationsLeft = -1;
        if (ok) {
            EXPECT_EQ(Lines(song), Lines(expected.song));
            break;
        }
        ++failures;
        ASSERT_EQ(song.eventCount, 0) << "budget " << budget;
        ASSERT_EQ(song.events.capacity(), 0u) << "budget " << budget;
    }
    // Working list growth, run list, final array, one vector per SysEx.
    EXPECT_GT(failures, 900);
}

}  // namespace
}  // namespace tavren::test
