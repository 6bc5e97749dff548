#include "midi/tempo_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <random>

namespace tavren {
namespace {

constexpr int64_t kInvalidTime = std::numeric_limits<int64_t>::min();

TempoMap MapWith(int32_t division, int32_t rate, std::initializer_list<std::pair<int32_t, int32_t>> entries) {
    TempoMap map(division, rate);
    for (auto [tick, bpm] : entries) map.Set(tick, bpm);
    return map;
}

TEST(TicksToSamples, WorkedExamples) {
    TempoMap plain = MapWith(480, 44100, {{0, 120}});
    EXPECT_EQ(plain.TicksToSamples(480), 22050);
    EXPECT_EQ(plain.TicksToSamples(1), 45);  // 45.9375: truncated
    EXPECT_EQ(plain.TicksToSamples(0), 0);

    // Truncation applies to the whole time, not to each step.
    TempoMap coarse = MapWith(96, 44100, {{0, 120}});
    EXPECT_EQ(coarse.TicksToSamples(1), 229);
    EXPECT_EQ(coarse.TicksToSamples(2), 459);

    TempoMap slowing = MapWith(480, 48000, {{0, 120}, {960, 60}});
    EXPECT_EQ(slowing.TicksToSamples(960), 48000);
    EXPECT_EQ(slowing.TicksToSamples(1440), 96000);
    EXPECT_EQ(slowing.TicksToSamples(480), 24000);
}

TEST(TicksToSamples, DivisionTimesTempoDoesNotOverflow32Bits) {
    // 65535 * 60000000 needs 42 bits; independently: 2147483647 * 60 /
    // 3932100000000 * 44100 = 1445.07...
    TempoMap map = MapWith(65535, 44100, {{0, 60000000}});
    EXPECT_EQ(map.TicksToSamples(std::numeric_limits<int32_t>::max()), 1445);
}

TEST(TicksToSamples, UnrepresentableTimesBecomeMostNegative) {
    TempoMap huge = MapWith(1, std::numeric_limits<int32_t>::max(), {{0, 3}});
    EXPECT_EQ(huge.TicksToSamples(std::numeric_limits<int32_t>::max()), kInvalidTime);
    // Before every entry the span is divided by 0 * division: -inf.
    EXPECT_EQ(huge.TicksToSamples(-1), kInvalidTime);
    TempoMap noDivision = MapWith(0, 44100, {{0, 120}});
    EXPECT_EQ(noDivision.TicksToSamples(0), kInvalidTime);  // 0 / 0
    EXPECT_EQ(noDivision.TicksToSamples(10), kInvalidTime);
    EXPECT_EQ(MapWith(480, 0, {{0, 120}}).TicksToSamples(480), 0);
    EXPECT_EQ(MapWith(480, -44100, {{0, 120}}).TicksToSamples(480), -22050);
}

TEST(TicksToSamples, EntryBeforeTickZeroTimesTheFirstSpan) {
    // A wrapped tick can set a tempo before 0: the span from it to 0 then
    // counts at its tempo, as the walk from the first entry does.
    TempoMap map = MapWith(480, 48000, {{0, 120}, {-480, 60}});
    EXPECT_EQ(map.TicksToSamples(0), 48000);
    EXPECT_EQ(map.TicksToSamples(480), 72000);
    EXPECT_EQ(map.TicksToSamples(-240), 24000);
}

// The walk exactly as written: every conversion from the first entry.
int64_t ReferenceWalk(const std::map<int32_t, int32_t>& entries, int64_t division, int32_t rate, int32_t t) {
    double acc = 0.0;
    int64_t prevTick = 0;
    int64_t bpm = 0;
    for (auto [k, b] : entries) {
        if (k > t) break;
        if (k - prevTick > 0) acc = acc + (static_cast<double>(k - prevTick) * 60.0) / static_cast<double>(division * bpm);
        prevTick = k;
        bpm = b;
    }
    if (division * bpm == 0) return kInvalidTime;
    const double seconds = (static_cast<double>(t - prevTick) * 60.0) / static_cast<double>(division * bpm) + acc;
    const double samples = seconds * static_cast<double>(rate);
    if (!(samples >= -9223372036854775808.0 && samples < 9223372036854775808.0)) return kInvalidTime;
    return static_cast<int64_t>(samples);
}

TEST(TicksToSamples, CachedSumsMatchTheFullWalkWhateverTheOrderOfChanges) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        const int32_t division = 1 + int32_t(rng() % 2000);
        const int32_t rate = 8000 + int32_t(rng() % 184000);
        TempoMap map(division, rate);
        std::map<int32_t, int32_t> reference;
        map.Set(0, 120);
        reference[0] = 120;
        int32_t cursor = 0;
        for (int step = 0; step < 400; ++step) {
            const uint32_t what = rng() % 10;
            if (what < 2) {
                // Anywhere, often before entries already used, sometimes replacing one.
                const int32_t tick = what == 0 ? int32_t(rng() % 100000) : (reference.begin()->first + int32_t(rng() % 3));
                const int32_t bpm = 3 + int32_t(rng() % 400);
                map.Set(tick, bpm);
                reference[tick] = bpm;
            } else {
                cursor = what < 8 ? cursor + int32_t(rng() % 500) : int32_t(rng() % 120000) - 1000;
                ASSERT_EQ(map.TicksToSamples(cursor), ReferenceWalk(reference, division, rate, cursor))
                    << "round " << round << " step " << step << " tick " << cursor;
            }
        }
    }
}

}  // namespace
}  // namespace tavren
