// Rejected files, and files cut off anywhere: the reader keeps what it read
// before the cut and never touches a byte past the image (the test buffers
// are exactly the file's size, so AddressSanitizer would see it).
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "smf_builder.h"

namespace tavren::test {
namespace {

using Lines_ = std::vector<std::string>;
const Bytes kNote = {0x00, 0x90, 0x3C, 0x64};

void ExpectRejected(const Bytes& file, const char* what) {
    ReadResult r = Read(file);
    EXPECT_FALSE(r.ok) << what;
    EXPECT_EQ(r.song.eventCount, 0) << what;
    EXPECT_TRUE(r.song.events.empty()) << what;
}

TEST(ReadSongRejects, BadHeadersAndEmptySongs) {
    const Bytes good = Smf(480, {kNote});
    ExpectRejected(Bytes(good.begin(), good.begin() + 13), "header shorter than 14 bytes");
    ExpectRejected({}, "empty image");
    ExpectRejected(Bytes{'M', 'T', 'h', 'e'} + Bytes(good.begin() + 4, good.end()), "not MThd");
    ExpectRejected(Header(0, 1, 480, 5) + Track(kNote), "header length below 6");
    ExpectRejected(Header(0, 1, 480, -1) + Track(kNote), "negative header length");
    ExpectRejected(Header(2, 1, 480) + Track(kNote), "format 2");
    ExpectRejected(Header(0, 1, 0) + Track(kNote), "division 0");
    ExpectRejected(Header(1, 0, 480) + Track(kNote), "no tracks declared");
    ExpectRejected(Smf(480, {Bytes{0x00, 0xFF, 0x01, 0x00}}), "only a meta event");
    Bytes longHeader = Header(0, 1, 480) + Track(kNote);
    longHeader[4] = 0x7F;  // declares 2^31 - 1 header bytes
    ExpectRejected(longHeader, "header longer than the file");
}

TEST(ReadSongRejects, TruncatedOrLyingRiffWrappers) {
    const Bytes smf = Smf(480, {kNote + kEot});
    const Bytes good = Rmid({RiffChunk("data", smf)});
    Bytes lyingRiff = good;
    lyingRiff[4] += 1;  // one byte more than the file holds
    Bytes lyingData = good;
    lyingData[16] += 2;  // the data chunk runs past the wrapper
    Bytes wave = good;
    std::memcpy(&wave[8], "WAVE", 4);
    const struct {
        Bytes file;
        const char* reason;
    } cases[] = {
        {Bytes(good.begin(), good.end() - 1), "declares more bytes than the file holds"},
        {lyingRiff, "declares more bytes than the file holds"},
        {lyingData, "a chunk runs past the wrapper's end"},
        {Bytes(good.begin(), good.begin() + 12), "declares more bytes"},
        {Rmid({RiffChunk("LIST", {'I', 'N', 'F', 'O'})}), "without a data chunk"},
        {Rmid({RiffChunk("data", Bytes(smf.begin() + 4, smf.end()))}), "no MThd header"},
        {Rmid({RiffChunk("data", {})}), "no MThd header"},
        {wave, "another kind than RMID"},
    };
    for (const auto& c : cases) {
        ExpectRejected(c.file, c.reason);
        MidiSong song;
        const char* reason = nullptr;
        EXPECT_FALSE(ReadSong(c.file.data(), uint32_t(c.file.size()), 44100, song, &reason));
        EXPECT_NE(std::string(reason ? reason : "").find(c.reason), std::string::npos) << (reason ? reason : "null");
    }
    ASSERT_TRUE(Read(good).ok);
}

TEST(ReadSongRejects, FailureEmptiesASongThatWasFilled) {
    MidiSong song;
    const Bytes good = Smf(480, {Bytes{0x00, 0xFF, 0x21, 0x01, 0x05, 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x03, 0xF7} + kEot});
    ASSERT_TRUE(ReadSong(good.data(), uint32_t(good.size()), 44100, song));
    ASSERT_EQ(song.portCount, 6);
    const Bytes bad = Header(2, 1, 480) + Track(kNote);
    EXPECT_FALSE(ReadSong(bad.data(), uint32_t(bad.size()), 44100, song));
    EXPECT_EQ(song.eventCount, 0);
    EXPECT_EQ(song.events.capacity(), 0u);
    EXPECT_EQ(song.detectedReset, ResetKind::GmSystemOn);
    EXPECT_EQ(song.lengthSamples, 0);
    EXPECT_EQ(EventAt(song, 0).message, 0u);
}

TEST(ReadSongLimits, EventsCutOffByTheEndOfTheImageAddNothing) {
    // Each case: a complete note, then an event running past the end. The
    // chunk declares a length reaching to the image's end plus up to 8 bytes,
    // which its head still allows.
    const struct {
        Bytes tail;
        const char* what;
    } cases[] = {
        {{0x83}, "delta-time"},
        {{0x00}, "delta-time with no event"},
        {{0x00, 0x90, 0x3C}, "Note On without its second data byte"},
        {{0x00, 0xC0}, "Program Change without data"},
        {{0x00, 0x3E}, "running status without its second data byte"},
        {{0x00, 0xF0}, "SysEx without length"},
        {{0x00, 0xF0, 0x81}, "SysEx length cut"},
        {{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01}, "SysEx body cut"},
        {{0x00, 0xF7, 0x02, 0x41}, "F7 body cut"},
        {{0x00, 0xFF}, "meta without type"},
        {{0x00, 0xFF, 0x51}, "meta without length"},
        {{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1}, "Set Tempo body cut"},
        {{0x00, 0xFF, 0x2F}, "End of Track without its third byte"},
    };
    for (const auto& c : cases) {
        const Bytes body = kNote + c.tail;
        for (int32_t extra = 0; extra <= 8; ++extra) {
            ReadResult r = Read(Header(0, 1, 480) + Chunk("MTrk", int32_t(body.size()) + extra, body));
            EXPECT_TRUE(r.ok) << c.what;
            EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -"})) << c.what << ", declared +" << extra;
            EXPECT_EQ(r.song.lengthSamples, 0) << c.what;
        }
    }
}

TEST(ReadSongLimits, CutOffTrackStopsReadingButKeepsEarlierTracks) {
    const Bytes file = Header(1, 3, 480) + Track(kNote + kEot) + Chunk("MTrk", 9, {0x00, 0x91, 0x3C, 0x64, 0x00, 0xF0, 0x7F});
    ReadResult r = Read(file);
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "0 80000000 0 -", "0 00643c91 0 -"}));
}

TEST(ReadSongLimits, ChunkHeadsAndDeclaredLengths) {
    const Bytes first = Header(1, 2, 480) + Track(kNote);
    // A chunk head cut short, or declaring more than the image holds past 8 bytes.
    EXPECT_EQ(Read(first + Bytes{'M', 'T', 'r', 'k', 0x00}).song.eventCount, 1);
    EXPECT_EQ(Read(first + Chunk("MTrk", 13, {0x00, 0x91, 0x3C, 0x64})).song.eventCount, 1);
    EXPECT_EQ(Read(first + Chunk("MTrk", 12, {0x00, 0x91, 0x3C, 0x64})).song.eventCount, 2);
    // Length 0 or negative: an empty track; the next chunk follows its head.
    const Bytes afterEmpty = Track(Bytes{0x00, 0x92, 0x3C, 0x64});
    EXPECT_EQ(Lines(Read(Header(1, 2, 480) + Chunk("MTrk", 0, {}) + afterEmpty).song), (Lines_{"0 00643c92 0 -"}));
    EXPECT_EQ(Lines(Read(Header(1, 2, 480) + Chunk("MTrk", -5, {}) + afterEmpty).song), (Lines_{"0 00643c92 0 -"}));
    // A delta-time longer than the bytes left in the chunk ends the track
    // after those bytes, even though the quantity runs on into what follows.
    const Bytes second = Track(Bytes{0x00, 0x93, 0x3C, 0x64});
    EXPECT_EQ(Lines(Read(Header(1, 2, 480) + Chunk("MTrk", 5, kNote + Bytes{0x81}) + second).song),
              (Lines_{"0 00643c90 0 -", "0 00643c93 0 -"}));
    EXPECT_EQ(Read(Header(1, 2, 480) + Chunk("MTrk", 5, kNote + Bytes{0x81}) + Bytes{0x80} + second).song.eventCount, 1);
}

TEST(ReadSongLimits, EventAfterTheDeltaThatEndsTheChunkIsStillRead) {
    // Declared 5 bytes: the note, then the delta-time 00 uses up the chunk;
    // its event (a Note Off) is read from beyond the declared end.
    ReadResult r = Read(Header(0, 1, 480) + Chunk("MTrk", 5, kNote + Bytes{0x00, 0x80, 0x3C, 0x00}));
    EXPECT_EQ(Lines(r.song), (Lines_{"0 00643c90 0 -", "0 00003c80 0 -"}));
}

TEST(ReadSongLimits, TickWrapsAsThirtyTwoBitsTwosComplement) {
    // Eight deltas of 2^28 - 1 (each followed by a lone F8) bring the tick to
    // 2^31 - 8; 16 more wrap it to -2^31 + 8.
    Bytes body;
    for (int i = 0; i < 8; ++i) body = body + Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xF8};
    body = body + Bytes{0x10, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64};
    ReadResult r = Read(Smf(480, {kNote, body}), 480);
    // Before every tempo entry: the span divides by zero, which is no time.
    constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();
    ASSERT_EQ(r.song.eventCount, 3);
    EXPECT_EQ(EventAt(r.song, 0).time, kNoTime);
    EXPECT_EQ(EventAt(r.song, 0).message, 0x00643c90u);
    EXPECT_EQ(EventAt(r.song, 1).time, kNoTime);
    EXPECT_EQ(EventAt(r.song, 1).message, 0x00643e90u);
    EXPECT_EQ(EventAt(r.song, 2).time, 0);
}

TEST(EventAt, OutsideTheEventsGivesTheSharedDefault) {
    ReadResult r = Read(Smf(480, {kNote + kEot}));
    ASSERT_EQ(r.song.eventCount, 2);
    EXPECT_EQ(EventAt(r.song, 1).message, MsgEndOfTrack);
    const SongEvent& past = EventAt(r.song, 2);
    EXPECT_EQ(&past, &EventAt(r.song, -1));
    EXPECT_EQ(&past, &EventAt(MidiSong{}, 0));
    EXPECT_EQ(past.time, 0);
    EXPECT_EQ(past.message, 0u);
    EXPECT_EQ(past.port, 0);
    EXPECT_TRUE(past.sysex.empty());
}

}  // namespace
}  // namespace tavren::test
