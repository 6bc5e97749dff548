// Times must be the same doubles in the 32-bit and the native build. Each
// case below truncates differently when the arithmetic is carried out in
// x87 extended precision instead of double precision; the expected values
// were computed apart from this code, with plain double arithmetic.
#include <gtest/gtest.h>

#include "midi/tempo_map.h"
#include "smf_builder.h"

namespace tavren::test {
namespace {

TEST(SameTimesInBothBuilds, TruncationsThatExtendedPrecisionWouldShift) {
    const struct {
        int32_t division, rate;
        std::vector<std::pair<int32_t, int32_t>> entries;
        int32_t tick;
        int64_t samples;
    } cases[] = {
        {480, 44100, {{0, 120}}, 176, 8084},  // 8084.9999999999991 in doubles
        {480, 44100, {{0, 119}}, 170, 7875},  // exactly 7875 in doubles, just below with more bits
        {96, 44100, {{0, 100}}, 56, 15434},
        {480, 48000, {{0, 120}}, 39, 1950},
        {960, 96000, {{0, 100}}, 29, 1739},
        {480, 44100, {{0, 90}}, 4, 245},
        {480, 44100, {{0, 120}, {100, 100}}, 126, 6027},
        {480, 44100, {{0, 120}, {100, 100}, {200, 90}}, 203, 10290},
    };
    for (const auto& c : cases) {
        TempoMap map(c.division, c.rate);
        for (auto [tick, bpm] : c.entries) map.Set(tick, bpm);
        EXPECT_EQ(map.TicksToSamples(c.tick), c.samples) << "division " << c.division << " tick " << c.tick;
    }
}

TEST(SameTimesInBothBuilds, ThroughTheReader) {
    // 100 BPM (600000) from tick 100, 90 BPM (666666) from tick 200; notes at 126 and 203.
    ReadResult r = Read(Smf(480, {Bytes{0x64, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0, 0x1A, 0x90, 0x3C, 0x64} +
                                  Bytes{0x4A, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2A, 0x03, 0x90, 0x3E, 0x64} + kEot}));
    EXPECT_EQ(Times(r.song), (std::vector<int64_t>{6027, 10290, 10290}));
}

}  // namespace
}  // namespace tavren::test
