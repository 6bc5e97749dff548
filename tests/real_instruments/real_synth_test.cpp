// Real stereo synths (Debian's amsynth and ZynAddSubFX) played through the
// built plug-in. Their output is not ours to predict and may differ per run,
// so the checks are what holds for any working instrument: lengths, finite
// samples, sound where the song plays, silence where it is silent, and the
// plug-in's block arithmetic on seeks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin_session.h"
#include "process_census.h"
#include "real_synths.h"
#include "song_writer.h"
#include "tone_host.h"

namespace realsynth {

void PrintTo(const RealPlugin& plugin, std::ostream* out) { *out << plugin.file; }

namespace {

using tavren::FromUtf8;
using tavren::IHmxDecoder;

constexpr double kSilence = 0.001;  // the plug-in's own near-silence level
constexpr double kAbsurd = 8.0;     // far beyond full scale even for eight instances summed
const Bytes kGmSystemOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const Bytes kGsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

double Seconds(uint32_t ms) { return ms / 1000.0; }

class RealSynth : public ::testing::TestWithParam<RealPlugin> {
protected:
    void SetUp() override {
        path = PluginPath(GetParam().file);
        ASSERT_TRUE(std::ifstream(path).good()) << path << " is missing: scripts/setup.sh installs it";
        session = std::make_unique<PluginSession>(PLUGIN_PATH);
        ASSERT_TRUE(session->Ready()) << "cannot load " << PLUGIN_PATH << " or make its module";
        session->Set(u"VSTiPath_x86", FromUtf8(path));
    }
    void TearDown() override {
        // Songs a failed check left open close before the module goes.
        for (IHmxDecoder* decoder : open) PluginSession::Close(decoder);
        session.reset();
    }

    IHmxDecoder* OpenOrFail(const Bytes& song, uint32_t rate = 0) {
        IHmxDecoder* decoder = session->Open(song, rate);
        EXPECT_NE(decoder, nullptr) << "open failed for " << path;
        if (decoder) open.push_back(decoder);
        return decoder;
    }
    void Close(IHmxDecoder* decoder) {
        open.erase(std::remove(open.begin(), open.end(), decoder), open.end());
        PluginSession::Close(decoder);
    }

    // The whole song: ends by itself within its length plus the five-second tail.
    Audio RenderWhole(IHmxDecoder* decoder) {
        const uint64_t length = PluginSession::LengthFrames(decoder);
        const auto& info = PluginSession::Info(decoder);
        Audio audio = PluginSession::RenderFrames(decoder, length + 6 * info.sampleRate);
        EXPECT_TRUE(audio.ended) << "the song did not end by itself";
        EXPECT_GE(audio.Frames() + 1, length);
        EXPECT_LE(audio.Frames(), length + 5 * info.sampleRate + info.blockFrames);
        EXPECT_TRUE(audio.AllFinite());
        EXPECT_LT(audio.Peak(), kAbsurd);
        return audio;
    }

    // Clearly audible for this instrument (the quietest holds a note near 0.003).
    double Sounding() const { return GetParam().sounding; }

    std::string path;
    std::unique_ptr<PluginSession> session;
    std::vector<IHmxDecoder*> open;
};

TEST_P(RealSynth, DemoSongPlaysToItsEndAndSounds) {
    std::ifstream in(HostPath(DEMO_SONG), std::ios::binary);
    const Bytes song((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(song.empty());
    IHmxDecoder* decoder = OpenOrFail(song);
    ASSERT_NE(decoder, nullptr);
    const auto& info = PluginSession::Info(decoder);
    EXPECT_EQ(info.sampleRate, 44100u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_TRUE(info.format == -32 || info.format == -64) << info.format;
    EXPECT_EQ(uint64_t{info.loop}, 0u);  // a copy: the record is packed
    EXPECT_GT(PluginSession::LengthFrames(decoder), 60u * 44100u);

    const Audio audio = RenderWhole(decoder);
    EXPECT_GT(audio.Peak(), kSilence);
    if (GetParam().general) {
        EXPECT_GT(audio.Peak(), 0.01);
        // The music goes on throughout: no stretch of ten seconds is silent.
        for (double t = 0; t + 10 < audio.Frames() / 44100.0 - 5; t += 10)
            EXPECT_GT(audio.Peak(t, t + 10), kSilence) << t;
    }
    Close(decoder);
}

// Eight ports: eight instances, each sounding its own port, each with its own
// state. A port without an instance would play on instance 0, and a note-off
// (or all sound off) sent there would end port 0's held note.
TEST_P(RealSynth, EightPortsPlayOnEightInstancesOfTheirOwn) {
    const bool general = GetParam().general;
    SongWriter w;
    w.Sysex(0, 0, kGmSystemOn);
    w.Sysex(0, 100, kGsReset);
    // Each port alone in its stretch: a note and its release.
    for (int port = 0; port < 8; ++port) {
        const uint32_t start = 1000 + 1500 * port;
        w.Note(port, start, start + 300, 60 + port);
        if (general) w.Control(port, start + 300, 120, 0);
    }
    // Port 0 holds a note while every other port sends its note-off.
    const uint32_t held = 13500;
    w.Note(0, held, held + 1700, 67);
    for (int port = 1; port < 8; ++port) {
        w.Add(port, held + 200, {0x80, 67, 0});
        if (general) w.Control(port, held + 200, 120, 0);
    }
    // The control case: the same note-off on port 0 itself ends the note.
    const uint32_t control = held + 3000;
    w.Note(0, control, control + 200, 67);
    w.End(control + 2000);

    IHmxDecoder* decoder = OpenOrFail(w.Build());
    ASSERT_NE(decoder, nullptr);
    const Audio audio = RenderWhole(decoder);
    EXPECT_LE(audio.Peak(0, 0.9), kSilence) << "sound before the first note";
    for (int port = 0; port < 8; ++port) {
        const uint32_t start = 1000 + 1500 * port;
        EXPECT_GT(audio.Peak(Seconds(start + 30), Seconds(start + 300)), Sounding()) << "port " << port << " silent";
        // Some instruments start a block's notes at its first frame: the next
        // note may sound up to one block (23 ms) early.
        EXPECT_LE(audio.Peak(Seconds(start + 1300), Seconds(start + 1450)), kSilence)
            << "port " << port << " still sounding before the next port's note";
        if (general) {
            EXPECT_LE(audio.Peak(Seconds(start + 400), Seconds(start + 1450)), kSilence)
                << "port " << port << " still sounding after all sound off";
        }
    }
    EXPECT_GT(audio.Peak(Seconds(held + 1300), Seconds(held + 1600)), Sounding())
        << "another port's note-off reached port 0's instance";
    EXPECT_GT(audio.Peak(Seconds(control + 30), Seconds(control + 200)), Sounding());
    EXPECT_LE(audio.Peak(Seconds(control + 1300), Seconds(control + 1600)), kSilence)
        << "the control failed: the note-off leaves the note sounding";
    Close(decoder);
}

// A loop marker makes the song play for ever: every Render gives a block,
// and the notes after the marker come round again.
TEST_P(RealSynth, LoopMarkerKeepsTheSongPlaying) {
    SongWriter w;
    w.Note(0, 200, 600, 60);
    w.Control(0, 1000, 111, 0);
    w.Note(0, 1200, 1800, 64);
    w.Note(1, 1400, 1900, 67);
    w.End(2500);
    IHmxDecoder* decoder = OpenOrFail(w.Build());
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(uint64_t{PluginSession::Info(decoder).loop}, ~uint64_t{0});
    const Audio audio = PluginSession::RenderSeconds(decoder, 15.0);
    EXPECT_FALSE(audio.ended);
    EXPECT_GE(audio.Frames(), 15u * 44100u);
    EXPECT_TRUE(audio.AllFinite());
    EXPECT_LT(audio.Peak(), kAbsurd);
    // Each 1.5-second loop sounds: no stretch of that length is silent, also long after the song's end.
    for (double t = 1.0; t + 1.5 <= 15.0; t += 1.5) EXPECT_GT(audio.Peak(t, t + 1.5), Sounding()) << t;
    Close(decoder);
}

// The tail: a song whose sound fades after its last event ends after half a
// second of silence; one whose note never ends stops five seconds past its length.
TEST_P(RealSynth, TailEndsAfterHalfASecondOfSilenceOrFiveSeconds) {
    SongWriter fading;
    fading.Note(0, 100, 1500, 60);
    fading.Note(1, 100, 1500, 64);
    fading.End(1500);
    IHmxDecoder* decoder = OpenOrFail(fading.Build());
    ASSERT_NE(decoder, nullptr);
    const uint64_t length = PluginSession::LengthFrames(decoder);
    Audio audio = RenderWhole(decoder);
    EXPECT_GT(audio.Peak(0.2, 1.5), Sounding());
    EXPECT_GE(audio.Frames() + 1024, length + 44100 / 2) << "ended before half a second of silence";
    EXPECT_LT(audio.Frames(), length + 5 * 44100) << "a fading song ran into the five-second limit";
    EXPECT_GE(audio.TrailingSilentFrames() + 1024, 44100u / 2);
    Close(decoder);

    // A note never released: an instrument that holds it never falls silent.
    if (!GetParam().sustains) return;
    SongWriter held;
    held.NoteOn(0, 100, 60);
    held.End(1000);
    decoder = OpenOrFail(held.Build());
    ASSERT_NE(decoder, nullptr);
    audio = RenderWhole(decoder);
    const uint64_t limit = PluginSession::LengthFrames(decoder) + 5 * 44100;
    EXPECT_GE(audio.Frames() + 1024, limit);
    EXPECT_GT(audio.Peak(5.0, 6.0), Sounding());
    Close(decoder);
}

// Seeks play the song into the instruments without output; a seek to the start
// or backwards first sends the reset sequence, which must silence a real
// instrument's ringing notes.
TEST_P(RealSynth, SeeksForwardToTheStartAndBackwards) {
    SongWriter w;
    w.Note(0, 1000, 4000, 60);
    w.Note(1, 1000, 4000, 64);
    w.Note(0, 7000, 7500, 67);
    w.End(8000);
    IHmxDecoder* decoder = OpenOrFail(w.Build());
    ASSERT_NE(decoder, nullptr);
    const uint64_t block = PluginSession::Info(decoder).blockFrames;
    auto blockStart = [&](uint64_t frame) { return frame - frame % block; };

    // Forward into the held notes: their note-ons were delivered on the way.
    EXPECT_EQ(decoder->Seek(2 * 44100 + 100, 0), blockStart(2 * 44100 + 100));
    Audio audio = PluginSession::RenderSeconds(decoder, 0.5);
    EXPECT_TRUE(audio.AllFinite());
    EXPECT_GT(audio.Peak(), Sounding()) << "the held notes do not sound after a forward seek";

    // To the start while they sound: the reset silences them, the song starts
    // silent (an instrument that ignores the reset's messages rings on).
    EXPECT_EQ(decoder->Seek(0, 0), 0u);
    audio = PluginSession::RenderSeconds(decoder, 1.5);
    if (GetParam().general) {
        EXPECT_LE(audio.Peak(0, 0.95), kSilence) << "notes ring on after the reset sequence";
    }
    EXPECT_GT(audio.Peak(1.05, 1.5), Sounding());

    // Forward into the silence after the notes, then back into them.
    EXPECT_EQ(decoder->Seek(5 * 44100 + 13230, 0), blockStart(5 * 44100 + 13230));
    audio = PluginSession::RenderSeconds(decoder, 1.2);
    EXPECT_LE(audio.Peak(), kSilence) << "sound where the song is silent";
    EXPECT_EQ(decoder->Seek(3 * 44100, 0), blockStart(3 * 44100));
    audio = PluginSession::RenderSeconds(decoder, 0.5);
    EXPECT_TRUE(audio.AllFinite());
    if (!GetParam().asyncPrograms) {
        EXPECT_GT(audio.Peak(), Sounding()) << "the held notes do not sound after a backward seek";
    }
    // And the song still plays on to its end from there.
    audio = PluginSession::RenderSeconds(decoder, 20);
    EXPECT_TRUE(audio.ended);
    EXPECT_TRUE(audio.AllFinite());
    EXPECT_GT(audio.Peak(7.0 - 3.5, 7.5 - 3.5), Sounding());
    Close(decoder);
}

// A second song on the instances the first one left in the cache (or on new
// ones when caching is off) plays as the first did, also at another rate.
TEST_P(RealSynth, SecondSongPlaysWithTheCacheOnAndOff) {
    for (const char16_t* cache : {u"1", u"0"}) {
        SCOPED_TRACE(cache[0] == u'1' ? "cache on" : "cache off");
        session->Set(u"Cache_x86", cache);
        for (int song = 0; song < 2; ++song) {
            SongWriter w;
            w.Sysex(0, 0, kGmSystemOn);
            w.Note(0, 500, 1200, 60 + song);
            w.Note(1, 800, 1500, 64 + song);
            w.Note(2, 1000, 1600, 67 + song);
            w.End(2000);
            const uint32_t rate = song == 0 ? 44100 : 48000;
            IHmxDecoder* decoder = OpenOrFail(w.Build(), rate);
            ASSERT_NE(decoder, nullptr);
            EXPECT_EQ(PluginSession::Info(decoder).sampleRate, rate);
            const Audio audio = RenderWhole(decoder);
            EXPECT_LE(audio.Peak(0, 0.45), kSilence) << "song " << song << " starts with sound";
            EXPECT_GT(audio.Peak(0.55, 1.5), Sounding()) << "song " << song;
            Close(decoder);
        }
    }
}

// "Info" describes the loaded instrument with the names the instrument itself gives.
TEST_P(RealSynth, InfoShowsTheInstrumentsOwnVendorAndProduct) {
    std::string vendor, product;
    {
        ToneHost direct(OwnArchPluginPath(GetParam().file));
        ASSERT_TRUE(direct.Ready());
        vendor = direct.Vendor();
        product = direct.Product();
    }
    ASSERT_FALSE(vendor.empty());
    ASSERT_FALSE(product.empty());
    BoxCapture boxes;
    EXPECT_EQ(session->Apply(u"Info", u""), 0);
    const std::string text = boxes.Text();
    EXPECT_NE(text.find("VSTi Information: path: " + path + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nvendor: " + vendor + "\r\nproduct: " + product + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nnumOutputs: 2\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("IsSynth"), std::string::npos) << text;

    // The instance "Info" used waits in the cache; the next song plays on it.
    SongWriter w;
    w.Note(0, 100, 600, 60);
    w.End(1000);
    IHmxDecoder* decoder = OpenOrFail(w.Build());
    ASSERT_NE(decoder, nullptr);
    EXPECT_GT(RenderWhole(decoder).Peak(), Sounding());
    Close(decoder);
}

// Through a host process the song sounds exactly as in the player's own,
// for an instrument whose renders repeat sample for sample in-process.
TEST_P(RealSynth, AHostProcessRendersWhatThePlayersProcessDoes) {
    if (Bridged()) GTEST_SKIP() << "chooses the host process itself: once is enough";
    SongWriter w;
    for (int port = 0; port < 2; ++port) {
        w.Note(port, 0, 500, 60 + port, port);
        w.Note(port, 700, 1400, 67 - port, port);
    }
    w.End(2000);
    const Bytes song = w.Build();
    auto render = [&](const char16_t* bridge) {
        session = std::make_unique<PluginSession>(PLUGIN_PATH);  // a fresh module, fresh instances
        session->Set(u"VSTiPath_x86", FromUtf8(path));
        session->Set(u"VSTiBridge_x86", bridge);
        Audio audio;
        if (IHmxDecoder* decoder = OpenOrFail(song)) {
            audio = RenderWhole(decoder);
            Close(decoder);
        }
        return audio;
    };
    const Audio first = render(u"0");
    const Audio again = render(u"0");
    ASSERT_GT(first.Frames(), 0u);
    if (first.samples != again.samples) GTEST_SKIP() << "its renders differ from run to run in-process";
    const Audio bridged = render(u"2");
    EXPECT_EQ(bridged.Frames(), first.Frames());
    EXPECT_TRUE(bridged.samples == first.samples) << "the host process's render differs";
}

// Once the module is released nothing of the instrument is left: no host
// process (nor its threads and network ports: ZynAddSubFX opens one per
// instance), no shared memory, no handle. In the player's own process an
// instrument may keep threads of its own (ZynAddSubFX cannot be unloaded),
// so threads and handles are counted only with a host process.
TEST_P(RealSynth, ReleasingTheModuleLeavesNothingOfTheInstrument) {
    session.reset();  // the fixture's module: counted from before any module
    const tavren::test::Census before = tavren::test::TakeCensus();
    session = std::make_unique<PluginSession>(PLUGIN_PATH);
    session->Set(u"VSTiPath_x86", FromUtf8(path));
    SongWriter w;
    for (int port = 0; port < 2; ++port) w.Note(port, 0, 40000, 60 + port, port);
    w.End(44100);
    IHmxDecoder* decoder = OpenOrFail(w.Build());
    if (decoder) PluginSession::RenderFrames(decoder, 20 * 1024);
    if (decoder) Close(decoder);
    session.reset();
    const tavren::test::Census after = tavren::test::TakeCensus();
    EXPECT_EQ(after.children, before.children) << "a host process is left";
    EXPECT_EQ(after.sharedMaps, before.sharedMaps) << "shared memory is left";
    if (Bridged()) {
        EXPECT_EQ(after.handles, before.handles) << "a handle is left";
        if (before.threads >= 0) {
            EXPECT_EQ(after.threads, before.threads) << "a thread is left";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Debian, RealSynth, ::testing::ValuesIn(kStereoSynths),
                         [](const ::testing::TestParamInfo<RealPlugin>& info) { return SynthName(info.param.file); });

}  // namespace
}  // namespace realsynth
