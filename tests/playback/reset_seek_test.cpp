// The song-start reset and seeking: which batches reach each instance and in
// what order, where a seek lands, whether it resets, that a play-through
// leaves the instruments as playing would, and the five-second bound.
#include <chrono>

#include "decoder_fixture.h"
#include "playback/reset_sequence.h"
#include "time_scale.h"

namespace tavren::test {
namespace {

using ResetSeekTest = DecoderTest;

const char kGmOn[] = "[sysex d=0 f0 7e 7f 09 01 f7]";
const char kGsReset[] = "[sysex d=0 f0 41 10 42 12 40 00 7f 00 41 f7]";
const char kXgOn[] = "[sysex d=0 f0 43 10 4c 00 00 7e 00 f7]";

Bytes TwoPortSong(bool xg) {
    std::vector<At> first{{0, NoteOn(0, 60)}, {5000, NoteOff(0, 60)}};
    if (xg) first.insert(first.begin(), At{0, SysexEvent({0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7})});
    return Song({TrackAt(0, first, 5000), TrackAt(1, {{0, NoteOn(1, 62)}, {5000, NoteOff(1, 62)}}, 5000)});
}

size_t Find(const std::string& line, const char* part) { return line.find(part); }

// The effProcessEvents lines since `from`, each followed by one process line
// of its effect: every batch costs a rendered block.
std::vector<std::string> BatchLines(const std::vector<std::string>& lines, size_t from, int serial) {
    std::vector<std::string> since(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end());
    EffectCalls calls = CallsOf(since, serial);
    EXPECT_EQ(calls.processEvents.size(), calls.process.size()) << "serial " << serial;
    return calls.processEvents;
}

struct ResetCase {
    const char16_t* setting;
    bool xgSong;
    std::vector<const char*> lastMessages;  // the reset SysEx batches, in order
};

TEST_F(ResetSeekTest, SeekToZeroSendsTheBatchesInOrderToEveryInstanceAlike) {
    const int settle = SettlingBlocks(44100, kBlock);
    ASSERT_EQ(settle, 43);
    for (const ResetCase& c : {ResetCase{u"0", false, {kGmOn}}, ResetCase{u"3", false, {kGmOn, kGsReset}},
                               ResetCase{u"2", false, {kGmOn, kXgOn}}, ResetCase{u"3", true, {kGmOn}}}) {
        SCOPED_TRACE("Reset_x86=" + ToUtf8(c.setting) + (c.xgSong ? " with an XG song" : ""));
        ProbeLog log;
        store_.Put(u"Reset_x86", c.setting);
        store_.Put(u"Cache_x86", u"0");
        AxVstiDecoder* d = Open(TwoPortSong(c.xgSong));
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d->Playback().instanceCount, 2);
        RenderOne(d);
        size_t from = log.Lines().size();
        EXPECT_EQ(d->Seek(0, 0), 0u);
        EXPECT_EQ(d->Playback().playPosition, 0u);
        EXPECT_EQ(d->Playback().nextEvent, 0);

        std::vector<std::string> lines = log.Lines();
        std::vector<std::string> batches0 = BatchLines(lines, from, SerialOf(d, 0));
        std::vector<std::string> batches1 = BatchLines(lines, from, SerialOf(d, 1));
        const size_t resets = c.lastMessages.size();
        ASSERT_EQ(batches0.size(), 1 + 5 + 13 + resets + settle);
        ASSERT_EQ(batches1.size(), batches0.size());
        // Channel resets, then the RPN rows (the null RPN has no data entry), then 13 controllers.
        std::vector<int> counts{96, 64, 64, 64, 64, 32};
        counts.resize(19, 16);
        for (size_t i = 0; i < counts.size(); ++i)
            EXPECT_NE(Find(batches0[i], ("events=" + std::to_string(counts[i]) + " ").c_str()), std::string::npos)
                << "batch " << i << ": " << batches0[i];
        EXPECT_NE(Find(batches0[0], "[midi d=0 b0 7b 00] [midi d=0 b0 00 00] [midi d=0 b0 20 00] [midi d=0 c0 00 00] "
                                    "[midi d=0 d0 00 00] [midi d=0 e0 00 40]"),
                  std::string::npos);
        EXPECT_NE(Find(batches0[1], "[midi d=0 b0 64 00] [midi d=0 b0 65 00] [midi d=0 b0 06 02] [midi d=0 b0 26 00]"),
                  std::string::npos);
        EXPECT_NE(Find(batches0[5], "[midi d=0 bf 64 7f] [midi d=0 bf 65 7f]"), std::string::npos);
        EXPECT_NE(Find(batches0[6], "[midi d=0 b0 01 00]"), std::string::npos);
        EXPECT_NE(Find(batches0[18], "[midi d=0 bf 78 00]"), std::string::npos);
        for (size_t r = 0; r < resets; ++r)
            EXPECT_NE(Find(batches0[19 + r], (std::string("events=1 ") + c.lastMessages[r]).c_str()),
                      std::string::npos)
                << batches0[19 + r];
        for (size_t i = 19 + resets; i < batches0.size(); ++i)
            EXPECT_NE(Find(batches0[i], "events=0"), std::string::npos) << "settling block " << i;
        // The same batches, instance 0 first within each.
        std::vector<std::string> order;
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i].find(" op=25 ") != std::string::npos) order.push_back(lines[i]);
        ASSERT_EQ(order.size(), 2 * batches0.size());
        for (size_t i = 0; i < batches0.size(); ++i) {
            EXPECT_EQ(order[2 * i], batches0[i]);
            std::string a = batches0[i].substr(batches0[i].find(" op=25 "));
            std::string b = batches1[i].substr(batches1[i].find(" op=25 "));
            EXPECT_EQ(a, b) << "batch " << i;
        }
        Close(d);
    }
}

TEST_F(ResetSeekTest, SeeksForwardInsideTheBlockBackwardAndToZero) {
    ProbeLog log;
    store_.Put(u"Reset_x86", u"0");
    // Note 60 starts inside the skipped stretch; it must be held after the seek.
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{3000, NoteOn(0, 60)}, {9000, NoteOff(0, 60)}}, 9000)}));
    ASSERT_NE(d, nullptr);
    const int serial = SerialOf(d, 0);
    const size_t resetBlocks = 1 + 5 + 13 + 1 + size_t(SettlingBlocks(44100, kBlock));

    // Forward from 0: no reset, four blocks played through, the note
    // delivered at its offset, and the fifth rendered ahead for the next Render.
    size_t from = log.Lines().size();
    EXPECT_EQ(d->Seek(5000, 0), uint64_t(4 * kBlock));
    d->SettleAhead();
    std::vector<std::string> forward = BatchLines(log.Lines(), from, serial);
    ASSERT_EQ(forward.size(), 5u);
    EXPECT_NE(forward[2].find("[midi d=" + std::to_string(SampleAt(3000) - 2 * kBlock) + " 90 3c 64]"),
              std::string::npos)
        << forward[2];
    Block held = RenderOne(d);
    ASSERT_EQ(held.frames, uint32_t(kBlock));
    EXPECT_EQ(held.samples[0], Tag(serial) + ::probe::NoteValue(0, 60)) << "the play-through left the note held";

    // Inside the current block (position 5120): nothing rendered, position kept.
    from = log.Lines().size();
    EXPECT_EQ(d->Seek(5 * kBlock + 7, 0), uint64_t(5 * kBlock));
    d->SettleAhead();
    EXPECT_EQ(BatchLines(log.Lines(), from, serial).size(), 0u);

    // Backward: the reset, then from 0 to the target's block start.
    from = log.Lines().size();
    EXPECT_EQ(d->Seek(2500, 0), uint64_t(2 * kBlock));
    d->SettleAhead();
    std::vector<std::string> backward = BatchLines(log.Lines(), from, serial);
    ASSERT_EQ(backward.size(), resetBlocks + 2 + 1) << "the reset, two blocks, and the third rendered ahead";
    EXPECT_NE(backward[0].find("events=96 "), std::string::npos);
    Block silent = RenderOne(d);
    EXPECT_EQ(silent.samples[0], 0.0) << "the reset ended the note; it starts again later in this block";

    // A target inside the first block, and 0 itself, reset and give 0.
    for (uint64_t target : {uint64_t(1000), uint64_t(0), uint64_t(0)}) {
        from = log.Lines().size();
        EXPECT_EQ(d->Seek(target, 0), 0u) << target;
        d->SettleAhead();
        EXPECT_EQ(BatchLines(log.Lines(), from, serial).size(), resetBlocks) << target;
    }
    // Playing on from 0 sounds the song as from the start.
    std::vector<double> again;
    for (int i = 0; i < 3; ++i) {
        Block b = RenderOne(d);
        again.insert(again.end(), b.samples.begin(), b.samples.end());
    }
    EXPECT_EQ(again[2 * (SampleAt(3000) - 1)], 0.0);
    EXPECT_EQ(again[2 * SampleAt(3000)], Tag(serial) + ::probe::NoteValue(0, 60));
}

TEST_F(ResetSeekTest, SeekAfterTheSongEndedMakesItPlayableAgain) {
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{0, NoteOn(0, 60)}, {100, NoteOff(0, 60)}}, 100)}));
    ASSERT_NE(d, nullptr);
    int blocks = 0;
    while (RenderOne(d).frames && blocks < 100) ++blocks;
    ASSERT_LT(blocks, 100);
    EXPECT_EQ(RenderOne(d).frames, 0u);
    EXPECT_EQ(d->Seek(0, 0), 0u);
    EXPECT_EQ(d->Playback().silentFrames, 0);
    Block first = RenderOne(d);
    ASSERT_EQ(first.frames, uint32_t(kBlock));
    EXPECT_EQ(first.samples[0], Tag(SerialOf(d, 0)) + ::probe::NoteValue(0, 60));
}

TEST_F(ResetSeekTest, PlayThroughStopsAfterFiveSecondsOfWallClock) {
    // Eight instances make every block cost sixteen round trips to the host
    // thread; the song (about 100 minutes) keeps every block rendering.
    std::vector<Bytes> tracks;
    for (int p = 0; p < 8; ++p) tracks.push_back(TrackAt(p, {{0, NoteOn(p, 60)}}, p == 0 ? (1u << 28) - 1 : 44100));
    AxVstiDecoder* d = Open(Song(tracks));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Playback().instanceCount, 8);
    const uint64_t target = uint64_t(1) << 40;  // far beyond anything five seconds can reach
    auto start = std::chrono::steady_clock::now();
    uint64_t reached = d->Seek(target, 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(reached, target);
    EXPECT_LT(reached, d->Playback().songLength) << "the play-through must still be inside the song";
    EXPECT_GT(reached, 0u);
    EXPECT_EQ(reached % kBlock, 0u);
    EXPECT_EQ(d->Playback().playPosition, reached);
    EXPECT_GE(seconds, 4.98);
    // The bound is checked between blocks: the last block may end past it,
    // by more where the code runs emulated.
    EXPECT_LT(seconds, 5.0 + 2.0 * TimeScale());
    std::printf("seek reached %llu frames (%.1f s of song) in %.2f s\n", static_cast<unsigned long long>(reached),
                reached / 44100.0, seconds);
}

}  // namespace
}  // namespace tavren::test
