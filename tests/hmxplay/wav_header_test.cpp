// The WAV header hmxplay writes, for any amount of audio: RIFF while its
// sizes fit 32 bits, RF64 beyond (checked without writing 4 GiB).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "wav_writer.h"

namespace hmxplay {
namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }
uint64_t Le64(const uint8_t* p) { return Le32(p) | uint64_t{Le32(p + 4)} << 32; }
std::string Tag(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

TEST(WavHeader, SizesInRiffUpTo4GiBAndInDs64Beyond) {
    constexpr uint64_t kLastRiff = 0xFFFFFFFFull - (kWavHeaderBytes - 8);  // the RIFF size field is then full
    struct Case {
        uint64_t dataBytes;
        bool rf64;
    };
    for (Case c : {Case{0, false}, Case{8, false}, Case{kLastRiff, false}, Case{kLastRiff + 1, true},
                   Case{0x100000000ull, true}, Case{6ull << 30, true}}) {
        SCOPED_TRACE(c.dataBytes);
        const auto header = WavHeader(c.dataBytes, 48000, 2, 32);
        const uint8_t* h = header.data();
        const uint64_t frames = c.dataBytes / 8;
        EXPECT_EQ(Tag(h), c.rf64 ? "RF64" : "RIFF");
        EXPECT_EQ(Tag(h + 8), "WAVE");
        EXPECT_EQ(Tag(h + 12), c.rf64 ? "ds64" : "JUNK");
        EXPECT_EQ(Le32(h + 16), 28u);
        EXPECT_EQ(Tag(h + 48), "fmt ");
        EXPECT_EQ(Le32(h + 60), 48000u);
        EXPECT_EQ(Tag(h + 74), "fact");
        EXPECT_EQ(Tag(h + 86), "data");
        if (c.rf64) {
            EXPECT_EQ(Le32(h + 4), 0xFFFFFFFFu);
            EXPECT_EQ(Le64(h + 20), kWavHeaderBytes - 8 + c.dataBytes);
            EXPECT_EQ(Le64(h + 28), c.dataBytes);
            EXPECT_EQ(Le64(h + 36), frames);
            EXPECT_EQ(Le32(h + 44), 0u);
            EXPECT_EQ(Le32(h + 82), 0xFFFFFFFFu);
            EXPECT_EQ(Le32(h + 90), 0xFFFFFFFFu);
        } else {
            EXPECT_EQ(Le32(h + 4), kWavHeaderBytes - 8 + c.dataBytes);
            EXPECT_EQ(Le64(h + 20) | Le64(h + 28) | Le64(h + 36), 0u) << "the JUNK chunk is empty";
            EXPECT_EQ(Le32(h + 82), frames);
            EXPECT_EQ(Le32(h + 90), c.dataBytes);
        }
    }
}

}  // namespace
}  // namespace hmxplay
