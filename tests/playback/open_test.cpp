// Opening a song: the sample rate chosen, the media information and Select,
// and every way an open can fail or fall short, each leaving the plug-in
// ready for the next song with nothing held.
#include "decoder_fixture.h"
#include "frame/module_state.h"
#include "message_box_watcher.h"
#include "platform/platform.h"
#include "vsthost/host_thread.h"

namespace tavren::test {
namespace {

using OpenTest = DecoderTest;

Bytes ShortSong() { return Song({TrackAt(0, {{0, NoteOn(0, 60)}, {500, NoteOff(0, 60)}}, 500)}); }

HmxMediaInfo Request(uint32_t rate) {
    HmxMediaInfo request{};
    request.size = sizeof request;
    request.sampleRate = rate;
    return request;
}

int CachedCount() {
    platform::LockGuard guard(HostLock);
    int n = 0;
    if (CurrentHost)
        for (VstiInstance* slot : CurrentHost->cacheSlots) n += slot != nullptr;
    return n;
}

TEST_F(OpenTest, SampleRateNegativeSettingOverridesTheRequest) {
    struct Case {
        const char16_t* setting;
        int64_t request;  // -1: no request
        uint32_t chosen;
    };
    for (Case c : {Case{u"-48000", 44100, 48000}, Case{u"48000", 44100, 44100}, Case{u"48000", 0, 48000},
                   Case{u"48000", -1, 48000}, Case{u"-44100", 96000, 44100}, Case{u"12345", -1, 44100}}) {
        SCOPED_TRACE(ToUtf8(c.setting) + " request " + std::to_string(c.request));
        store_.Put(u"SampleRate_x86", c.setting);
        HmxMediaInfo request = Request(uint32_t(c.request));
        // Ten seconds at 44100 Hz: the length in 100 ns units does not depend on the rate.
        AxVstiDecoder* d = Open(Song({TrackAt(0, {}, 441000)}), c.request < 0 ? nullptr : &request);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->MediaInfo().sampleRate, c.chosen);
        EXPECT_EQ(d->Playback().sampleRate, int32_t(c.chosen));
        EXPECT_EQ(d->Playback().instances[0]->sampleRate, int32_t(c.chosen));
        uint64_t length = d->MediaInfo().length;
        EXPECT_EQ(length, 100000000u);
        Close(d);
    }
}

// Fifty million seconds (a quarter note a second, division 1): the frames
// times 10,000,000 pass 64 bits, the length in 100 ns units does not.
TEST_F(OpenTest, LengthOfAVeryLongSongIsExact) {
    AxVstiDecoder* d = Open(Smf(1, {Tempo(1000000) + Vlq(50000000) + Bytes{0xFF, 0x2F, 0x00}}));
    ASSERT_NE(d, nullptr);
    uint64_t length = d->MediaInfo().length;
    EXPECT_EQ(length, 500000000000000u);
    Close(d);
}

TEST_F(OpenTest, MediaInformationAndSelect) {
    for (const char* flags : {"0x110", "0x1110"}) {
        SCOPED_TRACE(flags);
        ProbeLog log;
        SetEnv("PROBE_FLAGS", flags);
        store_.Put(u"Cache_x86", u"0");  // a fresh effect takes this round's flags
        const bool doubles = std::string(flags) == "0x1110";
        // Controller 111 on channel 10 is event 1; a second one (event 2) does not move the marker.
        AxVstiDecoder* d = Open(Song({TrackAt(
            0, {{0, NoteOn(0, 60)}, {10, Control(9, 111, 0)}, {20, Control(0, 111, 0)}, {30, NoteOff(0, 60)}}, 22050)}));
        ASSERT_NE(d, nullptr);
        const HmxMediaInfo& info = d->MediaInfo();
        EXPECT_EQ(info.size, 100u);
        EXPECT_EQ(info.format, doubles ? -64 : -32);
        EXPECT_EQ(info.channels, 2u);
        EXPECT_EQ(info.songCount, 1u);
        EXPECT_EQ(info.field64, 1u);
        EXPECT_EQ(info.blockFrames, uint32_t(kBlock));
        EXPECT_EQ(info.sampleRate, 44100u);
        uint64_t length = info.length, loop = info.loop;
        EXPECT_EQ(length, 5000000u);
        EXPECT_EQ(loop, ~uint64_t{0});
        EXPECT_EQ(d->Playback().loopStart, 1);
        EXPECT_EQ(log.Matching({" op=77 ", doubles ? "value=1 " : "value=0 "}).size(), 1u);

        HmxMediaInfo* out = nullptr;
        EXPECT_EQ(d->Select(1, &out, 0, 0), 1u);
        EXPECT_EQ(out, &info);
        EXPECT_EQ(info.selectedSong, 1u);
        out = nullptr;
        EXPECT_EQ(d->Select(0, &out, 0, 0), 0u);
        EXPECT_EQ(out, &info);
        EXPECT_EQ(info.selectedSong, 0u);
        out = const_cast<HmxMediaInfo*>(&info);  // must be cleared
        EXPECT_EQ(d->Select(2, &out, 0, 0), 0u);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(d->Select(1, nullptr, 0, 0), 1u);
        Close(d);
    }
    // Without a marker the loop field stays 0.
    AxVstiDecoder* plain = Open(ShortSong());
    ASSERT_NE(plain, nullptr);
    uint64_t loop = plain->MediaInfo().loop;
    EXPECT_EQ(loop, 0u);
    EXPECT_EQ(plain->Playback().loopStart, -1);
}

TEST_F(OpenTest, FailedOpensStopAndReleaseWhatTheyAcquiredAndTheNextSongPlays) {
    ProbeLog log;  // one file: a cached effect keeps logging where it was made
    for (const char16_t* cache : {u"1", u"0"}) {
        SCOPED_TRACE(ToUtf8(cache));
        store_.Put(u"Cache_x86", cache);
        const bool cached = cache[0] == u'1';
        MemoryFile rejected(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'});
        MemoryFile unreadable(ShortSong(), false);
        for (MemoryFile* file : {&rejected, &unreadable}) {
            const int before = CachedCount();
            size_t stops = log.Matching({" op=72 "}).size();
            size_t closes = log.Matching({" op=1 "}).size();
            EXPECT_EQ(OpenFile(*file), nullptr);
            EXPECT_EQ(file->bufferCalls(), 1);
            EXPECT_EQ(log.Matching({" op=72 "}).size(), stops + 1) << "effStopProcess";
            EXPECT_EQ(log.Matching({" op=12 ", "value=0 "}).size(), stops + 1) << "effMainsChanged 0";
            EXPECT_EQ(log.Matching({" op=1 "}).size(), closes + (cached ? 0 : 1)) << "effClose";
            EXPECT_EQ(CachedCount(), cached ? (before == 0 ? 1 : before) : 0);
            EXPECT_EQ(store_.references(), 2) << "only the module holds the store";
        }
        AxVstiDecoder* d = Open(ShortSong());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(RenderOne(d).frames, uint32_t(kBlock));
        Close(d);
    }
}

TEST_F(OpenTest, InstrumentRefusingLaterInstancesPlaysEveryPortOnTheFirst) {
    // The first instance is made while the probe still accepts, then cached.
    AxVstiDecoder* first = Open(ShortSong());
    ASSERT_NE(first, nullptr);
    const int serial = SerialOf(first, 0);
    Close(first);
    ASSERT_EQ(CachedCount(), 1);

    ProbeLog log;
    SetEnv("PROBE_REFUSE", "1");
    AxVstiDecoder* d = Open(Song({TrackAt(0, {{0, NoteOn(0, 60)}, {900, NoteOff(0, 60)}}, 900),
                                  TrackAt(1, {{0, NoteOn(1, 61)}, {900, NoteOff(1, 61)}}, 900),
                                  TrackAt(2, {{0, NoteOn(2, 62)}, {900, NoteOff(2, 62)}}, 900)}));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(log.Matching({"refused"}).size(), 1u) << "acquiring stops at the first refusal";
    EXPECT_EQ(d->Playback().instanceCount, 1);
    EXPECT_EQ(d->Playback().instances[1], nullptr);
    Block block = RenderOne(d);
    ASSERT_EQ(block.frames, uint32_t(kBlock));
    EXPECT_EQ(block.samples[0],
              Tag(serial) + ::probe::NoteValue(0, 60) + ::probe::NoteValue(1, 61) + ::probe::NoteValue(2, 62));
    Close(d);
    ClearEnv("PROBE_REFUSE");
    AxVstiDecoder* next = Open(Song({TrackAt(0, {}, 900), TrackAt(1, {}, 900)}));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->Playback().instanceCount, 2);
}


TEST_F(OpenTest, MissingInstrumentShowsTheLoadFailureAndTheNextSongOpens) {
    MessageBoxWatcher watcher;
    const std::u16string missing = LibraryPath("no_such_instrument");
    store_.Put(u"VSTiPath_x86", missing);
    EXPECT_EQ(Open(ShortSong()), nullptr);
    ASSERT_TRUE(watcher.WaitForCount(1, 10000));
    std::vector<MessageBoxSeen> boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, ForThisBuild(u"tavren_x86.hmx"));
    const std::u16string tail = u"\r\n\r\nVSTiPath=" + missing;
    ASSERT_GE(boxes[0].text.size(), tail.size());
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - tail.size()), tail);
    EXPECT_EQ(boxes[0].text.rfind(u"VSTi プラグインのロードに失敗しました。\r\n", 0), 0u);
    EXPECT_EQ(store_.references(), 2);

    watcher.Clear();
    store_.Put(u"VSTiPath_x86", LibraryPath("probe"));
    AxVstiDecoder* d = Open(ShortSong());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(RenderOne(d).frames, uint32_t(kBlock));
    EXPECT_TRUE(watcher.Boxes().empty());
}

}  // namespace
}  // namespace tavren::test
