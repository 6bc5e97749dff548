#include <gtest/gtest.h>

#include "midi/sysex_tables.h"
#include "smf_builder.h"

namespace tavren::test {
namespace {

using Lines_ = std::vector<std::string>;

TEST(ReadSong, TempoChangesFollowEveryEventReadAfterThem) {
    // Format 0: a note, 60 BPM from tick 480, a note 480 ticks later.
    ReadResult r = Read(Smf(480, {Bytes{0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40} +
                                  Bytes{0x83, 0x60, 0x80, 0x3C, 0x00} + kEot}),
                        48000);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "72000 00003c80 0 -", "72000 80000000 0 -"}));
    EXPECT_EQ(r.song.lengthSamples, 72000);
}

TEST(ReadSong, TempoInALaterTrackChangesOnlyWhatIsReadAfterIt) {
    const Bytes note960 = {0x87, 0x40, 0x90, 0x3C, 0x64};  // tick 960
    // Track 1 sets 60 BPM at tick 480; tracks 0 and 2 each hold a note at 960.
    ReadResult r = Read(Smf(480, {note960 + kEot, Bytes{0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40} + kEot,
                                  note960 + kEot}),
                        48000);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"24000 80000000 0 -", "48000 00643c90 0 -", "48000 80000000 0 -",
                                     "72000 00643c90 0 -", "72000 80000000 0 -"}));
}

TEST(ReadSong, SetTempoStoresWholeBeatsPerMinute) {
    auto noteAt480 = [](uint32_t microseconds) {
        return Read(Smf(480, {Tempo(microseconds) + Bytes{0x83, 0x60, 0x90, 0x3C, 0x64} + kEot})).song;
    };
    EXPECT_EQ(EventAt(noteAt480(500000), 0).time, 22050);
    EXPECT_EQ(EventAt(noteAt480(500001), 0).time, 22235);  // 119 BPM: 60 / 119 * 44100 = 22235.29
    EXPECT_EQ(EventAt(noteAt480(468750), 0).time, 20671);  // exactly 128 BPM: 20671.875
    EXPECT_EQ(EventAt(noteAt480(0), 0).time, 22050);       // ignored, not a division by zero
    // Two at one tick: the later wins.
    MidiSong twice = Read(Smf(480, {Tempo(1000000) + Tempo(250000) + Bytes{0x83, 0x60, 0x90, 0x3C, 0x64} + kEot})).song;
    EXPECT_EQ(EventAt(twice, 0).time, 11025);
    // Fewer than three data bytes: ignored; more: the first three count.
    MidiSong shortOne = Read(Smf(480, {Bytes{0x00, 0xFF, 0x51, 0x02, 0x0F, 0x42} + Bytes{0x83, 0x60, 0x90, 0x3C, 0x64}})).song;
    EXPECT_EQ(EventAt(shortOne, 0).time, 22050);
    MidiSong longOne =
        Read(Smf(480, {Bytes{0x00, 0xFF, 0x51, 0x04, 0x0F, 0x42, 0x40, 0x99} + Bytes{0x83, 0x60, 0x90, 0x3C, 0x64}})).song;
    EXPECT_EQ(EventAt(longOne, 0).time, 44100);
}

TEST(ReadSong, LaterTrackInsertingATempoBeforeOnesAlreadyUsed) {
    // Track 0 uses an entry at 960; track 1 then inserts one at 480 and reads
    // a note at 1440, whose time must include both (the cached sums reset).
    ReadResult r = Read(Smf(480, {Bytes{0x87, 0x40, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40} +  // 60 BPM at 960
                                      Bytes{0x83, 0x60, 0x90, 0x3C, 0x64} + kEot,           // note at 1440
                                  Bytes{0x83, 0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90} +  // 240 BPM at 480
                                      Bytes{0x87, 0x40, 0x90, 0x3E, 0x64} + kEot}),         // note at 1440
                        48000);
    ASSERT_TRUE(r.ok);
    // Track 0: 1 s to 960, 1 s more to 1440. Track 1: 0.5 s to 480, 0.25 s to 960, 1 s to 1440.
    EXPECT_EQ(Lines(r.song), (Lines_{"84000 00643e90 0 -", "84000 80000000 0 -", "96000 00643c90 0 -",
                                     "96000 80000000 0 -"}));
}

TEST(ReadSong, ResetMessagesAreBroadcastAndTheLastOneReadDecides) {
    const Bytes gm = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const Bytes xg = {0x00, 0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    ReadResult r = Read(Smf(480, {gm, xg}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 c0000001 0 f07e7f0901f7", "0 c0000001 0 f043104c00007e00f7"}));
    EXPECT_EQ(r.song.detectedReset, ResetKind::XgSystemOn);
    EXPECT_EQ(Read(Smf(480, {xg, gm})).song.detectedReset, ResetKind::GmSystemOn);
    const Bytes gs = {0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    EXPECT_EQ(Read(Smf(480, {xg + gs})).song.detectedReset, ResetKind::GsReset);
    const Bytes gm2 = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
    EXPECT_EQ(Read(Smf(480, {xg + gm2})).song.detectedReset, ResetKind::Gm2SystemOn);
}

TEST(ReadSong, NearMissesOfTheSysexTablesStayOnTheirPort) {
    const Bytes port2 = {0x00, 0xFF, 0x21, 0x01, 0x02};
    const Bytes xg = {0x00, 0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    // GS Reset to device 11; GM System On without F7; a bare master-volume prefix.
    ReadResult r = Read(Smf(480, {xg + port2 + Bytes{0x00, 0xF0, 0x0A, 0x41, 0x11, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7} +
                                  Bytes{0x00, 0xF0, 0x04, 0x7E, 0x7F, 0x09, 0x01} + Bytes{0x00, 0xF0, 0x04, 0x7F, 0x7F, 0x04, 0x01} +
                                  Bytes{0x00, 0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7}}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 c0000001 0 f043104c00007e00f7", "0 c0000000 2 f04111421240007f0041f7",
                                     "0 c0000000 2 f07e7f0901", "0 c0000000 2 f07f7f0401",
                                     "0 c0000001 2 f07f7f04010064f7"}));
    EXPECT_EQ(r.song.detectedReset, ResetKind::XgSystemOn);
}

TEST(ReadSong, EveryResetRowIsRecognisedWithItsKind) {
    for (const ResetSysexRow& row : ResetSysexTable) {
        Bytes body = {0x00, 0xF0, uint8_t(row.length)};
        body.insert(body.end(), row.bytes, row.bytes + row.length);
        // Start from a different kind so that each match is visible.
        const Bytes other = row.kind == ResetKind::GsReset ? Bytes{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x03, 0xF7}
                                                           : Bytes{0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40,
                                                                   0x00, 0x7F, 0x00, 0x41, 0xF7};
        ReadResult r = Read(Smf(480, {other + body}));
        EXPECT_EQ(r.song.detectedReset, row.kind) << "row of length " << row.length;
        EXPECT_EQ(EventAt(r.song, 1).message, MsgSysexAllPorts);
    }
}

TEST(ReadSong, PortPrefixAppliesToTheRestOfItsTrackOnly) {
    ReadResult r = Read(Smf(480, {Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x21, 0x01, 0x03, 0x00, 0x90, 0x3E, 0x64} + kEot,
                                  Bytes{0x00, 0x90, 0x40, 0x64, 0x00, 0xFF, 0x21, 0x00, 0x00, 0x91, 0x41, 0x64}}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "0 00643e90 3 -", "0 80000000 3 -", "0 00644090 0 -",
                                     "0 00644191 0 -"}));
    EXPECT_EQ(r.song.portCount, 4);
    // Counted as read, not limited to the instances the player creates.
    EXPECT_EQ(Read(Smf(480, {Bytes{0x00, 0xFF, 0x21, 0x01, 0xFF} + kEot})).song.portCount, 256);
    EXPECT_EQ(Read(Smf(480, {Bytes{0x00, 0xFF, 0x21, 0x01, 0x09, 0x00, 0xFF, 0x21, 0x01, 0x00} + kEot})).song.portCount, 10);
}

TEST(ReadSong, RunningStatusSurvivesMetaEventsButNotSysex) {
    // 90 3C 64, 3E 64, a text event, 40 64: three Note Ons.
    ReadResult r = Read(Smf(480, {Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x00, 0xFF, 0x01, 0x01, 0x41, 0x00, 0x40, 0x00}}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "0 00643e90 0 -", "0 00004090 0 -"}));
    // After a SysEx the data byte 3E has no status: it consumes nothing and is
    // read next as a delta-time (62 ticks), and so is the stray 64 after it
    // (100 ticks): the Program Change lands at tick 162.
    r = Read(Smf(480, {Bytes{0x00, 0xB0, 0x07, 0x64, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3E, 0x64, 0x00, 0xC2, 0x05}}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 006407b0 0 -", "0 c0000000 0 f0f7", "7441 000005c2 0 -"}));
    // A SysEx of length 0 adds nothing and keeps running status.
    r = Read(Smf(480, {Bytes{0x00, 0xE0, 0x00, 0x40, 0x00, 0xF0, 0x00, 0x00, 0x7F, 0x7F}}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 004000e0 0 -", "0 007f7fe0 0 -"}));
}

TEST(ReadSong, F7EventsStoreTheirDataBehindAnF0) {
    ReadResult r = Read(Smf(480, {Bytes{0x00, 0xF7, 0x03, 0xF0, 0x41, 0xF7, 0x00, 0xF7, 0x01, 0x55, 0x00, 0x90, 0x3C, 0x01}}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 c0000000 0 f041f7", "0 c0000000 0 f0", "0 00013c90 0 -"}));
}

TEST(ReadSong, LongSysexIsKeptWhole) {
    Bytes body = {0x00, 0xF0, 0x81, 0x48};
    for (int i = 0; i < 200; ++i) body.push_back(uint8_t(i & 0x7F));
    ReadResult r = Read(Smf(480, {body + kEot}));
    ASSERT_EQ(r.song.eventCount, 2);
    const std::vector<uint8_t>& bytes = EventAt(r.song, 0).sysex;
    ASSERT_EQ(bytes.size(), 201u);
    EXPECT_EQ(bytes[0], 0xF0);
    EXPECT_EQ(bytes[200], 199 & 0x7F);
}

TEST(ReadSong, ChannelMessagesAreTakenAsWritten) {
    // Note On velocity 0 stays Note On; C and D take one byte; a system status
    // F1..FE consumes only itself; data bytes with their high bit are kept.
    ReadResult r = Read(Smf(480, {Bytes{0x00, 0x90, 0x3C, 0x00, 0x00, 0xD3, 0x40, 0x00, 0xF8, 0x00, 0xA1, 0x80, 0xFF}}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00003c90 0 -", "0 000040d3 0 -", "0 00ff80a1 0 -"}));
}

TEST(ReadSong, EndOfTrackSetsTheLengthAndEndsTheChunk) {
    // Division 1 at 60 BPM: a tick is a second. End of Track at 10 s and
    // 12 s; a note at 14 s in a track without one does not stretch the length.
    const Bytes slow = Tempo(1000000);
    ReadResult r = Read(Smf(1, {slow + Bytes{0x0A, 0xFF, 0x2F, 0x00}, Bytes{0x0C, 0xFF, 0x2F, 0x00}, Bytes{0x0E, 0x90, 0x3C, 0x64}}));
    EXPECT_EQ(r.song.lengthSamples, 12 * 44100);
    EXPECT_EQ(r.song.eventCount, 3);
    // Tracks holding only End of Track open, with length 0.
    r = Read(Smf(480, {kEot, kEot}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 80000000 0 -", "0 80000000 0 -"}));
    // No End of Track anywhere: length 0, the events stay.
    r = Read(Smf(480, {Bytes{0x83, 0x60, 0x90, 0x3C, 0x64}}));
    EXPECT_EQ(r.song.lengthSamples, 0);
    EXPECT_EQ(r.song.eventCount, 1);
}

TEST(ReadSong, BytesAfterEndOfTrackMakeTheNextChunkInvalid) {
    const Bytes file = Header(1, 2, 480) + Track(kEot + Bytes{0x00, 0x90, 0x3C, 0x64}) +
                       Track(Bytes{0x00, 0x90, 0x3E, 0x64} + kEot);
    ReadResult r = Read(file);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 80000000 0 -"}));
    // A declared length that ends before the End of Track's bytes does not
    // matter: the next chunk is expected right after FF 2F 00.
    r = Read(Header(1, 2, 480) + Chunk("MTrk", 2, kEot) + Track(Bytes{0x00, 0x90, 0x3E, 0x64}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 80000000 0 -", "0 00643e90 0 -"}));
}

TEST(ReadSong, TrackCountBeyondTheChunksPresent) {
    const Bytes file = Header(1, 3, 480) + Track(Bytes{0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00}) +
                       Track(Bytes{0x30, 0x90, 0x3E, 0x64}) + Chunk("XTRA", 4, {0x00, 0x90, 0x40, 0x64});
    ReadResult r = Read(file);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "2205 00643e90 0 -", "4410 00003c80 0 -"}));
    // Fewer chunks than declared and nothing after them.
    EXPECT_EQ(Read(Header(1, 5, 480) + Track(kEot)).song.eventCount, 1);
    // A second track beyond the declared count is not read.
    EXPECT_EQ(Read(Header(1, 1, 480) + Track(kEot) + Track(kEot)).song.eventCount, 1);
}

TEST(ReadSong, FiveByteDeltaTimeIsReadAsFourBytes) {
    // 81 80 80 80 = 2^21 ticks; its fifth byte 90 then starts the event.
    ReadResult r = Read(Smf(480, {Bytes{0x81, 0x80, 0x80, 0x80, 0x90, 0x3C, 0x64}}), 480);
    EXPECT_EQ(Lines(r.song), (Lines_{"1048576 00643c90 0 -"}));
    // A continuation bit on the fourth byte is ignored: FF FF FF FF is 2^28 - 1.
    r = Read(Smf(480, {Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x3C, 0x64}}), 480);
    EXPECT_EQ(Lines(r.song), (Lines_{"134217727 00643c90 0 -"}));
}

TEST(ReadSong, RiffMidiWrapperIsReadAsTheFileInside) {
    // Odd-sized chunks before and after the data chunk, a SysEx whose bytes
    // come from inside the wrapped file.
    const Bytes smf = Smf(480, {Bytes{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7} +
                                Bytes{0x83, 0x60, 0x90, 0x3C, 0x64} + kEot});
    const Bytes info = RiffChunk("LIST", {'I', 'N', 'F', 'O', 'x'});
    ReadResult bare = Read(smf);
    ReadResult wrapped = Read(Rmid({info, RiffChunk("data", smf + Bytes{0x00}), RiffChunk("DISP", {1, 2, 3})}));
    ASSERT_TRUE(bare.ok);
    ASSERT_TRUE(wrapped.ok);
    EXPECT_EQ(Lines(wrapped.song), (Lines_{"0 c0000001 0 f07e7f0901f7", "22050 00643c90 0 -", "22050 80000000 0 -"}));
    EXPECT_EQ(Lines(wrapped.song), Lines(bare.song));
    EXPECT_EQ(wrapped.song.lengthSamples, bare.song.lengthSamples);
}

TEST(ReadSong, HeaderDetails) {
    // A longer header is skipped; the SMPTE-looking division is a plain number.
    ReadResult r = Read(Header(0, 1, 480, 10) + Track(Bytes{0x83, 0x60, 0x90, 0x3C, 0x64}));
    EXPECT_EQ(Lines(r.song), (Lines_{"22050 00643c90 0 -"}));
    r = Read(Header(0, 1, 0xE728) + Track(Bytes{0x83, 0xCE, 0x28, 0x90, 0x3C, 0x64}), 1000);
    EXPECT_EQ(Lines(r.song), (Lines_{"500 00643c90 0 -"}));
}

}  // namespace
}  // namespace tavren::test
