// The render loop as a listener meets it: where in a block each event
// sounds, which instance plays which port, how instances mix, the volume,
// how a song ends and how a looping song wraps.
#include <cmath>
#include <cstring>

#include "decoder_fixture.h"

namespace tavren::test {
namespace {

using RenderTest = DecoderTest;

// Every frame of the block in [from, to) carries value on the left and -value on the right.
void ExpectFrames(const std::vector<double>& samples, size_t from, size_t to, double value, const char* what) {
    for (size_t k = from; k < to; ++k) {
        ASSERT_EQ(samples[2 * k], value) << what << " frame " << k;
        ASSERT_EQ(samples[2 * k + 1], -value) << what << " frame " << k;
    }
}

TEST_F(RenderTest, EventsSoundAtTheirOffsetAndABoundaryEventOpensTheNextBlock) {
    ProbeLog log;
    // Note 60 from 100 to the block boundary 1024; note 61 from 1029 on.
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{100, NoteOn(0, 60)}, {1024, NoteOff(0, 60)}, {1029, NoteOn(0, 61)},
                                              {3000, NoteOff(0, 61)}},
                                          3000)}));
    ASSERT_NE(d, nullptr);
    const double tag = Tag(SerialOf(d, 0));

    Block first = RenderOne(d);
    ASSERT_EQ(first.frames, uint32_t(kBlock));
    ExpectFrames(first.samples, 0, 100, 0.0, "before the note");
    ExpectFrames(first.samples, 100, kBlock, tag + ::probe::NoteValue(0, 60), "note 60");
    Block second = RenderOne(d);
    ASSERT_EQ(second.frames, uint32_t(kBlock));
    ExpectFrames(second.samples, 0, 5, 0.0, "note 60 ended at offset 0");
    ExpectFrames(second.samples, 5, kBlock, tag + ::probe::NoteValue(0, 61), "note 61");

    // Two blocks handed back and the third rendered ahead: its note-off was
    // still pending, so it could not be the tail.
    EffectCalls calls = CallsOf(log.Lines(), 0);
    ASSERT_EQ(calls.processEvents.size(), 3u);
    EXPECT_NE(calls.processEvents[0].find("events=1 [midi d=100 90 3c 64]"), std::string::npos) << calls.processEvents[0];
    EXPECT_NE(calls.processEvents[1].find("events=2 [midi d=0 80 3c 00] [midi d=5 90 3d 64]"), std::string::npos)
        << calls.processEvents[1];
    EXPECT_NE(calls.processEvents[2].find("events=1 [midi d=952 80 3d 00]"), std::string::npos) << calls.processEvents[2];
    EXPECT_EQ(d->Playback().playPosition, uint64_t(2 * kBlock));
}

// The event pointers of a block run past the two that VstEvents declares:
// the third and later ones are written through the allocation, not the
// declared array (which the sanitizers count as out of bounds).
TEST_F(RenderTest, MoreEventsInABlockThanVstEventsDeclaresAllArrive) {
    ProbeLog log;
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{1, NoteOn(0, 60)}, {2, NoteOn(0, 62)}, {3, NoteOn(0, 64)},
                                              {4, Control(0, 7, 90)}, {2000, NoteOff(0, 60)}},
                                          3000)}));
    ASSERT_NE(d, nullptr);
    Block first = RenderOne(d);
    ASSERT_EQ(first.frames, uint32_t(kBlock));
    EffectCalls calls = CallsOf(log.Lines(), SerialOf(d, 0));
    ASSERT_GE(calls.processEvents.size(), 1u);  // the next block may have been rendered ahead
    EXPECT_NE(calls.processEvents[0].find("events=4 [midi d=1 90 3c 64] [midi d=2 90 3e 64] [midi d=3 90 40 64] "
                                          "[midi d=4 b0 07 5a]"),
              std::string::npos)
        << calls.processEvents[0];
}

TEST_F(RenderTest, TwoInstancesAddUnscaledAndQuietBlocksStillGetTheirEventCall) {
    ProbeLog log;
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{10, NoteOn(0, 60)}, {5000, NoteOff(0, 60)}}, 5000),
                                  TrackAt(1, {{20, NoteOn(1, 64)}, {5000, NoteOff(1, 64)}}, 5000)}));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Playback().instanceCount, 2);
    const double tag0 = Tag(SerialOf(d, 0)), tag1 = Tag(SerialOf(d, 1));
    ASSERT_NE(tag0, tag1);

    Block first = RenderOne(d);
    ExpectFrames(first.samples, 0, 10, 0.0, "silence");
    ExpectFrames(first.samples, 10, 20, tag0 + ::probe::NoteValue(0, 60), "port 0 alone");
    // Far beyond full scale: the sum is neither scaled nor clipped.
    ExpectFrames(first.samples, 20, kBlock, tag0 + ::probe::NoteValue(0, 60) + tag1 + ::probe::NoteValue(1, 64), "sum");
    RenderOne(d);
    RenderOne(d);

    std::vector<std::string> lines = log.Lines();
    for (int serial : {SerialOf(d, 0), SerialOf(d, 1)}) {
        EffectCalls calls = CallsOf(lines, serial);
        // Three blocks handed back, the fourth rendered ahead.
        ASSERT_EQ(calls.processEvents.size(), 4u) << "serial " << serial;
        ASSERT_EQ(calls.process.size(), 4u) << "serial " << serial;
        EXPECT_NE(calls.processEvents[0].find("events=1 "), std::string::npos);
        for (int b : {1, 2, 3}) EXPECT_NE(calls.processEvents[b].find("events=0"), std::string::npos) << calls.processEvents[b];
        for (const std::string& line : calls.process) EXPECT_NE(line.find("frames=1024"), std::string::npos) << line;
    }
}

TEST_F(RenderTest, TwelvePortsPlayOnEightInstancesWithTheRestOnInstanceZero) {
    ProbeLog log;
    // Port p plays note 40 + p on channel p; port 3 also broadcasts a master volume at 300.
    std::vector<Bytes> tracks;
    for (int p = 0; p < 12; ++p) {
        std::vector<At> events{{uint32_t(50 + p), NoteOn(p, 40 + p)}, {4000, NoteOff(p, 40 + p)}};
        if (p == 3) events.insert(events.begin() + 1, At{300, SysexEvent({0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7})});
        tracks.push_back(TrackAt(p, events, 4000));
    }
    AxVstiDecoder* d = Open(Song(tracks));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Playback().instanceCount, 8);
    Block block = RenderOne(d);

    std::vector<std::string> lines = log.Lines();
    double expected = 0;
    for (int k = 0; k < 8; ++k) {
        int serial = SerialOf(d, k);
        expected += Tag(serial);
        EffectCalls calls = CallsOf(lines, serial);
        ASSERT_EQ(calls.processEvents.size(), 2u) << "the block handed back and the next rendered ahead";
        const std::string& line = calls.processEvents[0];
        // Instance 0 takes its own port and ports 8 to 11.
        std::vector<int> ports{k};
        if (k == 0) ports = {0, 8, 9, 10, 11};
        EXPECT_NE(line.find("events=" + std::to_string(ports.size() + 1) + " "), std::string::npos) << line;
        for (int p : ports) {
            char note[40];
            std::snprintf(note, sizeof note, "[midi d=%d %02x %02x 64]", int(SampleAt(50 + p)), 0x90 | p, 40 + p);
            EXPECT_NE(line.find(note), std::string::npos) << "instance " << k << ": " << line;
            expected += ::probe::NoteValue(p, 40 + p);
        }
        EXPECT_NE(line.find("[sysex d=" + std::to_string(SampleAt(300)) + " f0 7f 7f 04 01 00 64 f7]"), std::string::npos) << "instance " << k;
    }
    ExpectFrames(block.samples, size_t(SampleAt(61)), kBlock, expected, "all twelve notes on eight instances");
}

TEST_F(RenderTest, VolumeOneIsBitExactZeroSilentFourUnclipped) {
    Bytes song = Song({TrackAt(0, {{0, NoteOn(2, 70)}, {2000, NoteOff(2, 70)}}, 2000)});
    struct Case {
        const char16_t* percent;
        double factor;
    };
    std::vector<float> reference;
    for (Case c : {Case{u"100.0", 1.0}, Case{u"0", 0.0}, Case{u"400", 4.0}, Case{u"37.5", 0.375}}) {
        store_.Put(u"Volume_x86", c.percent);
        AxVstiDecoder* d = Open(song);
        ASSERT_NE(d, nullptr);
        Block block = RenderOne(d);
        ASSERT_EQ(block.frames, uint32_t(kBlock));
        if (reference.empty()) {
            // The raw instrument output: its value, exactly.
            double raw = Tag(SerialOf(d, 0)) + ::probe::NoteValue(2, 70);
            ExpectFrames(block.samples, 0, kBlock, raw, "volume 1.0");
            reference = block.floats;
        } else {
            for (size_t k = 0; k < reference.size(); ++k) {
                float want = static_cast<float>(static_cast<double>(reference[k]) * c.factor);
                ASSERT_EQ(std::memcmp(&block.floats[k], &want, sizeof want), 0)
                    << "factor " << c.factor << " sample " << k << ": " << block.floats[k] << " vs " << want;
            }
        }
        Close(d);
    }
}

TEST_F(RenderTest, DoubleOutputCarriesTheSameSignalAndVolume) {
    SetEnv("PROBE_FLAGS", "0x1110");
    store_.Put(u"Volume_x86", u"400");
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{7, NoteOn(0, 1)}, {2000, NoteOff(0, 1)}}, 2000)}));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->MediaInfo().format, -64);
    Block block = RenderOne(d);
    ExpectFrames(block.samples, 0, 7, 0.0, "before");
    ExpectFrames(block.samples, 7, kBlock, 4.0 * (Tag(SerialOf(d, 0)) + ::probe::NoteValue(0, 1)), "x4 doubles");
}

TEST_F(RenderTest, TailEndsAfterHalfASecondOfSilenceWithAShortBlock) {
    // The last note ends at 3000, in the third block; the tail then counts silent blocks.
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{0, NoteOn(0, 60)}, {3000, NoteOff(0, 60)}}, 3000)}));
    ASSERT_NE(d, nullptr);
    std::vector<uint32_t> frames;
    for (int i = 0; i < 40; ++i) frames.push_back(RenderOne(d).frames);
    // 3 event blocks, then 22050 silent frames: 21 full tail blocks and 22 * 1024 - 22050 = 478.
    std::vector<uint32_t> expected(3 + 21, uint32_t(kBlock));
    expected.push_back(478);
    expected.resize(40, 0);
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(d->Playback().playPosition, uint64_t(24 * kBlock + 478));
}

TEST_F(RenderTest, TailOfAnInstrumentThatNeverFallsSilentEndsFiveSecondsPastTheLength) {
    // A note that is never released; the song's length is 100 frames.
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{0, NoteOn(0, 60)}}, 100)}));
    ASSERT_NE(d, nullptr);
    const uint64_t limit = 100 + 5 * 44100;  // 220600
    uint32_t frames;
    int blocks = 0;
    while ((frames = RenderOne(d).frames) != 0 && blocks < 1000) {
        EXPECT_EQ(frames, uint32_t(kBlock));
        ++blocks;
    }
    // The first block position at or past the limit returns 0.
    EXPECT_EQ(blocks, int((limit + kBlock - 1) / kBlock));
    EXPECT_EQ(RenderOne(d).frames, 0u);
}

TEST_F(RenderTest, LoopingSongNeverEndsAndEveryWrapStartsAtTheMarker) {
    // Marker (controller 111 on channel 10) at 2000, a note 100 frames after it.
    AxVstiDecoder* d =
        Open(Song({TrackAt(0, {{2000, Control(9, 111, 0)}, {2100, NoteOn(0, 60)}, {2200, NoteOff(0, 60)}}, 3000)}));
    ASSERT_NE(d, nullptr);
    uint64_t loopField = d->MediaInfo().loop;  // a packed field: copied before comparing
    EXPECT_EQ(loopField, ~uint64_t{0});
    const double value = Tag(SerialOf(d, 0)) + ::probe::NoteValue(0, 60);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(RenderOne(d).frames, uint32_t(kBlock));
    for (int wrap = 0; wrap < 300; ++wrap) {
        Block block = RenderOne(d);
        ASSERT_EQ(block.frames, uint32_t(kBlock)) << "wrap " << wrap;
        ExpectFrames(block.samples, 0, 100, 0.0, "marker to note");
        ExpectFrames(block.samples, 100, 200, value, "the note 100 frames after the marker");
        ExpectFrames(block.samples, 200, kBlock, 0.0, "after the note");
        ASSERT_EQ(d->Playback().playPosition, uint64_t(2000 + kBlock)) << "wrap " << wrap;
    }
}

}  // namespace
}  // namespace tavren::test
