// The song's order must equal a stable sort on time, whatever the reading
// order looks like: sorted runs per track, many runs, times going backwards.
#include <gtest/gtest.h>

#include <random>

#include "smf_builder.h"

namespace tavren::test {
namespace {

using Lines_ = std::vector<std::string>;

TEST(EventOrder, EqualTimesKeepReadingOrder) {
    // Both tracks at tick 0; in track 1 a Note Off before a Note On at one tick.
    ReadResult r = Read(Smf(480, {Bytes{0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00},
                                  Bytes{0x00, 0x91, 0x3C, 0x64, 0x60, 0x81, 0x3C, 0x00, 0x00, 0x91, 0x3C, 0x64}}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "0 00643c91 0 -", "4410 00003c80 0 -", "4410 00003c81 0 -",
                                     "4410 00643c91 0 -"}));
    // Different ticks on one sample count as equal: tick 2 of track 0 (read
    // first) stays before tick 1 of track 1.
    r = Read(Smf(960, {Bytes{0x02, 0x90, 0x3C, 0x64}, Bytes{0x01, 0x91, 0x3C, 0x64}}), 100);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "0 00643c91 0 -"}));
}

// Files whose events are Control Changes numbered in reading order (14 bits
// in the two data bytes), so the result shows where each event came from.
struct NumberedFile {
    Bytes bytes;
    int32_t count = 0;
};

NumberedFile MakeNumberedFile(std::mt19937& rng, int trackCount, int eventsPerTrack, bool wrapTicks) {
    NumberedFile file;
    file.bytes = Header(1, uint16_t(trackCount), 96);
    for (int t = 0; t < trackCount; ++t) {
        Bytes body;
        for (int e = 0; e < eventsPerTrack; ++e) {
            uint32_t delta = rng() % 4 == 0 ? rng() % 200 : 0;
            if (wrapTicks && rng() % 50 == 0) delta = 0x0FFFFFFF;  // some wrap the tick backwards
            body = body + Vlq(delta);
            if (rng() % 40 == 0) body = body + Bytes{0xFF, 0x51, 0x03, 0x07, uint8_t(rng()), 0x20, 0x00};  // tempo, then the event
            const int32_t n = file.count++;
            body = body + Bytes{0xB0, uint8_t(n & 0x7F), uint8_t((n >> 7) & 0x7F)};
        }
        file.bytes = file.bytes + Track(body);
    }
    return file;
}

void ExpectStableSortOfTheReadingOrder(const MidiSong& song, int32_t count) {
    ASSERT_EQ(song.eventCount, count);
    std::vector<bool> seen(size_t(count), false);
    int64_t prevTime = 0;
    int32_t prevNumber = -1;
    for (int32_t i = 0; i < count; ++i) {
        const SongEvent& e = EventAt(song, i);
        const int32_t number = int32_t((e.message >> 8) & 0x7F) | int32_t((e.message >> 16) & 0x7F) << 7;
        ASSERT_LT(number, count);
        ASSERT_FALSE(seen[size_t(number)]) << "event " << number << " twice";
        seen[size_t(number)] = true;
        if (i > 0) {
            ASSERT_LE(prevTime, e.time) << "at index " << i;
            if (prevTime == e.time) {
                ASSERT_LT(prevNumber, number) << "tie out of reading order at index " << i;
            }
        }
        prevTime = e.time;
        prevNumber = number;
    }
}

TEST(EventOrder, EqualsAStableSortForAnyReadingOrder) {
    std::mt19937 rng(2024);
    const struct {
        int tracks, events;
        bool wrap;
        int32_t rate;
        const char* what;
    } cases[] = {
        {16, 600, false, 44100, "one sorted run per track"},
        {3, 2000, true, 44100, "wrapped ticks: runs inside tracks"},
        {1200, 5, false, 44100, "more runs than the merge takes"},
        {2, 400, false, -44100, "negative rate: hundreds of runs to merge"},
        {4, 1500, false, -44100, "negative rate: too many runs to merge"},
        {1, 1, false, 0, "one event"},
    };
    for (const auto& c : cases) {
        NumberedFile file = MakeNumberedFile(rng, c.tracks, c.events, c.wrap);
        ReadResult r = Read(file.bytes, c.rate);
        ASSERT_TRUE(r.ok) << c.what;
        SCOPED_TRACE(c.what);
        ExpectStableSortOfTheReadingOrder(r.song, file.count);
        EXPECT_EQ(r.song.events.capacity(), size_t(file.count)) << "the array holds exactly the events";
    }
}

}  // namespace
}  // namespace tavren::test
