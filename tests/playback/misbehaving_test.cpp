// Instruments and hosts that misbehave: an instrument whose flags or counts
// change between songs or after start-up, a host that asks for an odd
// sample rate, an instrument too slow for the seek bound, and the render
// path's heap use once a song plays. Each must leave the host player's
// memory intact (AddressSanitizer natively) and keep every bound.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "allocation_counter.h"
#include "decoder_fixture.h"
#include "frame/module_state.h"
#include "message_box_watcher.h"
#include "platform/platform.h"
#include "vsthost/host_thread.h"

namespace tavren::test {
namespace {

using MisbehavingTest = DecoderTest;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

Bytes PortsSong(int ports, uint32_t length = 3000) {
    std::vector<Bytes> tracks;
    for (int p = 0; p < ports; ++p)
        tracks.push_back(TrackAt(p, {{0, NoteOn(p, 60 + p)}, {length, NoteOff(p, 60 + p)}}, length));
    return Song(tracks);
}

HmxMediaInfo Request(uint32_t rate) {
    HmxMediaInfo request{};
    request.size = sizeof request;
    request.sampleRate = rate;
    return request;
}

// A song opened with one flag word, cached, then a two-port song opened with
// the other: instance 0 comes from the cache, instance 1 is new.
TEST_F(MisbehavingTest, MixedSampleWidthsAreDecidedOncePerSong) {
    struct Case {
        const char* cachedFlags;
        const char* newFlags;
        int32_t format;      // decided by instance 0
        int instances;       // the new instance is used only if it can be driven in that width
        const char* newPrecision;
    };
    for (Case c : {Case{"0x110", "0x1110", -32, 2, "precision=float"},
                   Case{"0x1110", "0x110", -64, 1, nullptr},
                   Case{"0x1110", "0x1100", -64, 2, "precision=double"},
                   Case{"0x110", "0x1100", -32, 1, nullptr}}) {
        SCOPED_TRACE(std::string(c.cachedFlags) + " then " + c.newFlags);
        ProbeLog log;
        SetEnv("PROBE_FLAGS", c.cachedFlags);
        AxVstiDecoder* first = Open(PortsSong(1));
        ASSERT_NE(first, nullptr);
        const int cachedSerial = SerialOf(first, 0);
        Close(first);

        SetEnv("PROBE_FLAGS", c.newFlags);
        AxVstiDecoder* d = Open(PortsSong(2));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->MediaInfo().format, c.format);
        ASSERT_EQ(d->Playback().instanceCount, c.instances);
        EXPECT_EQ(SerialOf(d, 0), cachedSerial);
        Block block = RenderOne(d);  // sized by the announced format: an overrun shows under ASan
        ASSERT_EQ(block.frames, uint32_t(kBlock));
        double expected = Tag(cachedSerial) + ::probe::NoteValue(0, 60) + ::probe::NoteValue(1, 61);
        if (c.instances == 2) expected = Tag(cachedSerial) + ::probe::NoteValue(0, 60) + Tag(SerialOf(d, 1)) +
                                         ::probe::NoteValue(1, 61);
        EXPECT_EQ(block.samples[0], expected);
        EXPECT_EQ(block.samples[1], -expected);
        if (c.newPrecision) {
            std::string serial = " serial=" + std::to_string(SerialOf(d, 1)) + " ";
            EXPECT_FALSE(log.Matching({serial.c_str(), c.newPrecision}).empty());
            EXPECT_EQ(log.Matching({serial.c_str(), " op=77 ", c.format == -64 ? "value=1 " : "value=0 "}).size(), 1u);
        }
        Close(d);
        // Flush: the next round starts from an empty cache.
        store_.Put(u"Cache_x86", u"0");
        AxVstiDecoder* flush = Open(PortsSong(1));
        ASSERT_NE(flush, nullptr);
        flush->UpdateConfig(0);
        Close(flush);
        store_.Put(u"Cache_x86", u"1");
    }
}

TEST_F(MisbehavingTest, FlagsChangedAfterStartUpDoNotChangeTheWidthOfAPlayingSong) {
    SetEnv("PROBE_FLAGS", "0x110");
    SetEnv("PROBE_FLAGS_ON_START", "0x1110");
    AxVstiDecoder* d = Open(PortsSong(2));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->MediaInfo().format, -32);
    for (int b = 0; b < 3; ++b) {
        Block block = RenderOne(d);
        ASSERT_EQ(block.frames, uint32_t(kBlock));
        EXPECT_EQ(block.samples[0], Tag(SerialOf(d, 0)) + Tag(SerialOf(d, 1)) + ::probe::NoteValue(0, 60) +
                                        ::probe::NoteValue(1, 61));
    }
    EXPECT_EQ(d->Seek(0, 0), 0u);
}

// The block size follows the rate only for this library name: a cached
// instance then needs new buffers, which must be made for the counts it
// reports now, and only if they still make an instrument.
TEST_F(MisbehavingTest, CountsChangedAfterStartUpAreCheckedWhenBuffersAreMadeAgain) {
    store_.Put(u"VSTiPath_x86", CopyProbeAs("tavren_counts\\MAmiVSTi.dll"));
    struct Case {
        const char* outputs;
        const char* inputs;
        bool reopens;
    };
    for (Case c : {Case{"1", "0", false}, Case{"0", "0", false}, Case{"-3", "-3", false},
                   Case{"2147483647", "1", false}, Case{"6", "4", true}, Case{"2", "2147483647", false}}) {
        SCOPED_TRACE(std::string("outputs ") + c.outputs + " inputs " + c.inputs);
        MessageBoxWatcher boxes;
        ClearProbeVariables();
        SetEnv("PROBE_OUTPUTS_ON_START", c.outputs);
        SetEnv("PROBE_INPUTS_ON_START", c.inputs);
        HmxMediaInfo at44 = Request(44100), at48 = Request(48000);
        AxVstiDecoder* first = Open(PortsSong(1), &at44);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->MediaInfo().blockFrames, 1764u);
        EXPECT_EQ(RenderOne(first).frames, 1764u);
        Close(first);  // cached, reporting the changed counts

        ClearProbeVariables();
        AxVstiDecoder* d = Open(PortsSong(1), &at48);
        if (c.reopens) {
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->MediaInfo().blockFrames, 1920u);
            Block block = RenderOne(d);
            ASSERT_EQ(block.frames, 1920u);
            EXPECT_EQ(block.samples[0], -block.samples[1]);
            Close(d);
        } else {
            EXPECT_EQ(d, nullptr) << "an instance without two outputs cannot play";
            EXPECT_TRUE(boxes.WaitForCount(1, 10000));
        }
        // The unusable instance is gone, not cached: the next song gets a fresh one.
        AxVstiDecoder* next = Open(PortsSong(1), &at48);
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(RenderOne(next).frames, 1920u);
        Close(next);
        store_.Put(u"Cache_x86", u"0");
        next = Open(PortsSong(1), &at48);
        ASSERT_NE(next, nullptr);
        next->UpdateConfig(0);  // empties the cache
        Close(next);
        store_.Put(u"Cache_x86", u"1");
    }
}

// Any request from 8000 to 768000 Hz is honoured, the preset rates or not;
// one outside that range counts as none. Even at the highest rate the reset
// of a seek to the start stays inside the seek's bound.
TEST_F(MisbehavingTest, RequestedRatesOutsideTheSaneRangeCountAsNoRequest) {
    struct Case {
        uint32_t request;
        const char16_t* setting;
        uint32_t chosen;
    };
    for (Case c : {Case{0xFFFFFFFFu, u"44100", 44100}, Case{200000000u, u"48000", 48000}, Case{22050, u"96000", 22050},
                   Case{32000, u"44100", 32000}, Case{8000, u"44100", 8000}, Case{7999, u"48000", 48000},
                   Case{768000, u"44100", 768000}, Case{768001, u"44100", 44100}, Case{0x80000000u, u"44100", 44100},
                   Case{192000, u"44100", 192000}, Case{48000, u"44100", 48000}, Case{0xFFFFFFFFu, u"-88200", 88200},
                   Case{22050, u"-48000", 48000}}) {
        SCOPED_TRACE(std::to_string(c.request));
        store_.Put(u"SampleRate_x86", c.setting);
        HmxMediaInfo request = Request(c.request);
        AxVstiDecoder* d = Open(PortsSong(1), &request);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->MediaInfo().sampleRate, c.chosen);
        EXPECT_EQ(d->Playback().sampleRate, int32_t(c.chosen));
        EXPECT_EQ(d->Playback().instances[0]->sampleRate, int32_t(c.chosen));
        auto start = Clock::now();
        EXPECT_EQ(d->Seek(0, 0), 0u);
        EXPECT_LT(SecondsSince(start), 5.0);
        EXPECT_EQ(RenderOne(d).frames, uint32_t(kBlock));
        Close(d);
    }
}

// An instrument taking a second per process call: a seek, its reset
// included, still returns about when its bound says, and the decoder and
// the module go away promptly. Generous margins: emulated 32-bit code may
// be many times slower, and the sleeps dominate anyway.
TEST_F(MisbehavingTest, ASlowInstrumentKeepsSeekInsideItsBoundAndLetsGo) {
    SetEnv("PROBE_SLEEP_MS", "1000");
    AxVstiDecoder* d = Open(PortsSong(2, 441000));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Playback().instanceCount, 2);

    auto start = Clock::now();
    uint64_t reached = d->Seek(0, 0);
    double took = SecondsSince(start);
    EXPECT_EQ(reached, 0u);
    EXPECT_LT(took, 5.0 + 2 * 1.0 + 5.0) << "the reset must stop at the seek's bound";

    start = Clock::now();
    reached = d->Seek(100 * kBlock, 0);
    took = SecondsSince(start);
    EXPECT_LT(reached, uint64_t(100 * kBlock));
    EXPECT_LT(took, 5.0 + 2 * 1.0 + 5.0);

    start = Clock::now();
    Close(d);
    module_->Release();
    module_ = nullptr;
    EXPECT_LT(SecondsSince(start), 5.0) << "destruction waits for no process call";
}

TEST_F(MisbehavingTest, RenderingAllocatesNothingOnceTheSongPlays) {
    // Two ports, chords on both, a SysEx for all ports: every list gets events.
    std::vector<At> first, second;
    for (uint32_t t = 0; t < 40000; t += 700) {
        first.push_back({t, NoteOn(0, 60)});
        first.push_back({t + 300, NoteOff(0, 60)});
        second.push_back({t + 10, NoteOn(1, 64)});
        second.push_back({t + 310, NoteOff(1, 64)});
    }
    first.insert(first.begin() + 4, At{1400, SysexEvent({0x7E, 0x7F, 0x09, 0x01, 0xF7})});
    AxVstiDecoder* d = Open(Song({TrackAt(0, first, 41000), TrackAt(1, second, 41000)}));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Playback().instanceCount, 2);
    std::vector<float> buffer(2 * kBlock);
    for (int b = 0; b < 4; ++b) d->Render(buffer.data(), 0);  // storage grows here at most

    StartCountingAllocations();
    uint32_t frames = 0;
    for (int b = 0; b < 30; ++b) frames += d->Render(buffer.data(), 0);
    const long during = StopCountingAllocations();
    EXPECT_EQ(frames, 30u * kBlock);
    EXPECT_EQ(during, 0) << "heap allocations in 30 blocks of a playing song";
}

}  // namespace
}  // namespace tavren::test

namespace tavren::test {
namespace {

// An instrument whose own thread calls the host callback while the song
// plays and seeks. The time information belongs to the host thread and the
// decoder's: another thread is answered without it (ThreadSanitizer watches).
TEST_F(MisbehavingTest, CallbacksFromTheInstrumentsOwnThreadWhileTheSongPlays) {
    ProbeLog log;
    SetEnv("PROBE_CALLBACK_THREAD", "1");
    AxVstiDecoder* d = Open(PortsSong(2, 20000));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Playback().instanceCount, 2);
    for (int b = 0; b < 20; ++b) {
        Block block = RenderOne(d);
        ASSERT_EQ(block.frames, uint32_t(kBlock));
        EXPECT_EQ(block.samples[0], Tag(SerialOf(d, 0)) + Tag(SerialOf(d, 1)) + ::probe::NoteValue(0, 60) +
                                        ::probe::NoteValue(1, 61));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(d->Seek(0, 0), 0u);
    Close(d);  // effStopProcess ends the probe's thread
    std::vector<std::string> stops = log.Matching({"callbackthread "});
    ASSERT_EQ(stops.size(), 2u);
    for (const std::string& line : stops) EXPECT_GT(LineValue(line, "calls="), 0) << line;
}

}  // namespace
}  // namespace tavren::test
