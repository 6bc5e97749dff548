// Drives the built tone library through its VST 2 interface, as the plug-in
// does, and checks what a listener would notice: levels, pan, pedal, the
// channel-mode messages, resets, voice stealing and clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "dense_song.h"
#include "tone_host.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;
constexpr uint8_t kOcarina = 79;  // a nearly pure sine: frequencies and clicks are easy to see
constexpr uint8_t kWarmPad = 89;  // long release

std::unique_ptr<ToneHost> NewHost(HostOptions options = {}) {
    auto host = std::make_unique<ToneHost>(TONE_PATH, options);
    EXPECT_TRUE(host->Ready()) << "could not load and accept " << TONE_PATH;
    return host;
}

size_t Frames(double seconds) { return static_cast<size_t>(seconds * kRate); }

// One note alone on channel 1, after `setup` has sent its controllers.
template <typename Setup>
std::vector<double> RenderNote(uint8_t program, uint8_t key, uint8_t velocity, Setup setup, double seconds = 0.5) {
    auto host = NewHost();
    host->Midi(0xC0, program);
    setup(*host);
    host->Midi(0x90, key, velocity);
    host->Render(static_cast<int64_t>(Frames(seconds)));
    std::vector<double> mono(host->left.size());
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = host->left[i] + host->right[i];
    return mono;
}

std::vector<double> RenderNote(uint8_t program, uint8_t key, uint8_t velocity) {
    return RenderNote(program, key, velocity, [](ToneHost&) {});
}

double Crossings(const std::vector<double>& x, size_t from, size_t to) {
    int count = 0;
    for (size_t i = from + 1; i < to && i < x.size(); ++i) count += (x[i - 1] < 0.0) != (x[i] < 0.0);
    return count;
}

double FrequencyOf(const std::vector<double>& x, double fromSeconds, double toSeconds) {
    return Crossings(x, Frames(fromSeconds), Frames(toSeconds)) / 2.0 / (toSeconds - fromSeconds);
}

// Amplitude of one frequency over a span (single-bin DFT; the Hann window
// keeps a loud neighbour from leaking into the bin).
double ToneAmplitude(const std::vector<double>& x, double hz, size_t from, size_t to) {
    double re = 0.0, im = 0.0;
    const double n = static_cast<double>(to - from);
    for (size_t i = from; i < to; ++i) {
        const double w = 2.0 * kPi * hz * static_cast<double>(i) / kRate;
        const double window = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i - from) / n);
        re += x[i] * window * std::cos(w);
        im += x[i] * window * std::sin(w);
    }
    return 4.0 * std::hypot(re, im) / n;
}

double MaxStep(const std::vector<double>& x) {
    double step = 0.0;
    for (size_t i = 1; i < x.size(); ++i) step = std::max(step, std::fabs(x[i] - x[i - 1]));
    return step;
}

double KeyHz(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

}  // namespace

TEST(ToneInterface, PassesTheHostsAcceptanceRuleAndNamesItself) {
    auto host = NewHost();
    ASSERT_TRUE(host->Ready());
    const vst2::AEffect* effect = host->Effect();
    EXPECT_EQ(effect->numInputs, 0);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_NE(effect->flags & vst2::effFlagsIsSynth, 0);
    EXPECT_NE(effect->flags & vst2::effFlagsCanReplacing, 0);
    EXPECT_NE(effect->flags & vst2::effFlagsCanDoubleReplacing, 0);
    EXPECT_EQ(host->Vendor(), "Tavren");
    EXPECT_EQ(host->Product(), "tone");

    // Strings end within 64 characters and leave the rest of the buffer alone.
    char buffer[128];
    std::memset(buffer, 0x55, sizeof buffer);
    host->Effect()->dispatcher(host->Effect(), vst2::effGetProductString, 0, 0, buffer, 0.0f);
    const size_t length = strnlen(buffer, sizeof buffer);
    ASSERT_LE(length, 64u);
    for (size_t i = length + 1; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0x55) << "byte " << i;
}

TEST(ToneDenseSong, StaysFiniteInRangeAndAudible) {
    auto host = NewHost();
    const double seconds = 12.0;
    ScheduleDenseSong(*host, seconds);
    host->Render(static_cast<int64_t>(Frames(seconds)));
    for (const std::vector<double>* channel : {&host->left, &host->right}) {
        for (size_t i = 0; i < channel->size(); ++i) {
            ASSERT_TRUE(std::isfinite((*channel)[i])) << "frame " << i;
            ASSERT_LT(std::fabs((*channel)[i]), 1.0) << "frame " << i;
        }
        // Loud enough to be music, and no silent second where notes play.
        EXPECT_GT(Peak(*channel), 0.2);
        for (double s = 0.0; s + 1.0 <= seconds; s += 1.0) {
            EXPECT_GT(Rms(*channel, Frames(s), Frames(s + 1.0)), 0.02) << "second " << s;
        }
    }
}

TEST(ToneLevels, NoteLevelFollowsVelocityAndChannelVolume) {
    auto level = [](uint8_t velocity, uint8_t volume) {
        return Rms(RenderNote(0, 60, velocity, [&](ToneHost& h) { h.Midi(0xB0, 7, volume); }, 0.3));
    };
    const double soft = level(40, 127), medium = level(80, 127), loud = level(127, 127);
    EXPECT_GT(soft, 0.0);
    EXPECT_LT(soft, medium * 0.7);
    EXPECT_LT(medium, loud * 0.7);

    const double half = level(127, 64), silent = level(127, 0);
    // About -12 dB for half volume, the usual square-law fader.
    EXPECT_GT(half / loud, 0.15);
    EXPECT_LT(half / loud, 0.5);
    EXPECT_EQ(silent, 0.0);

    const double expression = Rms(RenderNote(0, 60, 127, [](ToneHost& h) {
        h.Midi(0xB0, 7, 127);
        h.Midi(0xB0, 11, 64);
    }, 0.3));
    EXPECT_NEAR(expression / half, 1.0, 0.02) << "expression scales like volume";
}

TEST(ToneLevels, PanMovesEnergyBetweenChannels) {
    auto balance = [](uint8_t pan) {
        auto host = NewHost();
        host->Midi(0xB0, 10, pan);
        host->Midi(0x90, 60, 100);
        host->Render(Frames(0.3));
        return Rms(host->right) / Rms(host->left);
    };
    EXPECT_LT(balance(0), 0.01);
    EXPECT_NEAR(balance(64), 1.0, 0.02);
    EXPECT_GT(balance(127), 100.0);
    EXPECT_LT(balance(32), balance(64));
    EXPECT_GT(balance(96), balance(64));
}

TEST(ToneLevels, MasterVolumeMessagesScaleEverything) {
    const double full = Rms(RenderNote(0, 60, 100));
    const std::vector<std::vector<uint8_t>> halfVolume = {
        {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x3F, 0xF7},                    // universal, 14 bits
        {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x40, 0x7C, 0xF7},  // GS
        {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x04, 0x40, 0xF7},              // XG
    };
    for (const auto& message : halfVolume) {
        const double half = Rms(RenderNote(0, 60, 100, [&](ToneHost& h) { h.Sysex(message); }));
        EXPECT_GT(half / full, 0.15) << "message " << std::hex << int(message[1]);
        EXPECT_LT(half / full, 0.5) << "message " << std::hex << int(message[1]);
    }
}

TEST(ToneControllers, SustainPedalHoldsReleasedNotesUntilLifted) {
    auto host = NewHost();
    host->Midi(0xC0, kOcarina);
    host->Midi(0xB0, 64, 127);
    host->Midi(0x90, 69, 100);
    host->Render(Frames(0.2));
    host->Midi(0x80, 69, 0);
    host->Render(Frames(0.5));  // well past the patch's release
    const double held = Rms(host->left, Frames(0.6), Frames(0.7));
    EXPECT_GT(held, 0.5 * Rms(host->left, Frames(0.1), Frames(0.2)));
    host->Midi(0xB0, 64, 0);
    host->Render(Frames(0.5));
    EXPECT_EQ(Peak(host->left, Frames(1.1)), 0.0);
}

TEST(ToneControllers, AllNotesOffSilencesEveryFamilyWithinItsRelease) {
    auto host = NewHost();
    for (int ch = 0; ch < 16; ++ch) {
        host->Midi(0xC0 | ch, static_cast<uint8_t>(ch * 8));
        for (uint8_t key : {48, 55, 64}) host->Midi(0x90 | ch, ch == 9 ? key - 12 : key, 100);
    }
    host->Render(Frames(0.5));
    ASSERT_GT(Rms(host->left, Frames(0.4)), 0.01);
    for (int ch = 0; ch < 16; ++ch) host->Midi(0xB0 | ch, 123, 0);
    host->Render(Frames(2.5));  // the longest release is 1.5 s, the longest drum 2.2 s
    EXPECT_GT(Rms(host->left, Frames(0.5), Frames(0.6)), 0.0) << "releases fade, they do not cut";
    EXPECT_EQ(Peak(host->left, Frames(2.9)), 0.0);
    EXPECT_EQ(Peak(host->right, Frames(2.9)), 0.0);
}

TEST(ToneControllers, AllSoundOffAndPitchBendRange) {
    {
        auto host = NewHost();
        host->Midi(0xC0, kWarmPad);
        host->Midi(0x90, 60, 100);
        host->Render(Frames(0.6));
        host->Midi(0xB0, 120, 0);
        host->Render(Frames(0.1));
        EXPECT_EQ(Peak(host->left, Frames(0.62)), 0.0) << "sound off cuts within milliseconds";
    }
    auto bent = [](auto setup) {
        return FrequencyOf(RenderNote(kOcarina, 69, 100, setup, 0.8), 0.2, 0.8);
    };
    EXPECT_NEAR(bent([](ToneHost&) {}), 440.0, 4.0);
    EXPECT_NEAR(bent([](ToneHost& h) { h.Midi(0xE0, 0x7F, 0x7F); }), KeyHz(71), 4.0);
    const auto octave = [](ToneHost& h) {
        h.Midi(0xB0, 101, 0);
        h.Midi(0xB0, 100, 0);
        h.Midi(0xB0, 6, 12);
        h.Midi(0xB0, 38, 0);
    };
    EXPECT_NEAR(bent([&](ToneHost& h) { octave(h); h.Midi(0xE0, 0x7F, 0x7F); }), 880.0, 6.0);
    EXPECT_NEAR(bent([&](ToneHost& h) { octave(h); h.Midi(0xE0, 0x00, 0x00); }), 220.0, 3.0);
    // After the null parameter or a non-registered one, data entry changes nothing.
    EXPECT_NEAR(bent([&](ToneHost& h) {
        octave(h);
        h.Midi(0xB0, 101, 127);
        h.Midi(0xB0, 100, 127);
        h.Midi(0xB0, 6, 1);
        h.Midi(0xB0, 99, 0);
        h.Midi(0xB0, 98, 0);
        h.Midi(0xB0, 6, 1);
        h.Midi(0xE0, 0x7F, 0x7F);
    }), 880.0, 6.0);
}

TEST(ToneReset, EachResetMessageMakesTheNextNoteSoundLikeAFreshOne) {
    const std::vector<std::vector<uint8_t>> resets = {
        {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
        {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7},
        {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
        {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
    };
    // Notes start on the same frame of the control grid in both runs, so a
    // fully restored state gives the very same samples.
    const int64_t noteAt = 32768;
    auto fresh = NewHost();
    fresh->MidiAt(noteAt, 0x90, 60, 100);
    fresh->Render(noteAt + Frames(0.4));

    for (const auto& reset : resets) {
        auto host = NewHost();
        host->Midi(0xC0, 40);
        for (auto [cc, value] : std::vector<std::pair<uint8_t, uint8_t>>{
                 {7, 30}, {10, 0}, {11, 50}, {1, 127}, {64, 127}, {101, 0}, {100, 0}, {6, 12}}) {
            host->Midi(0xB0, cc, value);
        }
        host->Midi(0xE0, 0x00, 0x10);
        host->Sysex({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x10, 0xF7});
        host->Midi(0x90, 64, 100);
        host->Render(Frames(0.2));
        host->Sysex(reset);
        host->MidiAt(noteAt, 0x90, 60, 100);
        host->Render(noteAt + Frames(0.4) - host->Position());

        double worst = 0.0;
        for (size_t i = noteAt; i < fresh->left.size(); ++i) {
            worst = std::max({worst, std::fabs(host->left[i] - fresh->left[i]), std::fabs(host->right[i] - fresh->right[i])});
        }
        EXPECT_LT(worst, 1e-6) << "reset message starting " << std::hex << int(reset[1]);
    }
}

TEST(ToneReset, ResetAllControllersRestoresBendExpressionAndPedal) {
    const auto reference = RenderNote(kOcarina, 69, 100, [](ToneHost&) {});
    const auto afterReset = RenderNote(kOcarina, 69, 100, [](ToneHost& h) {
        h.Midi(0xB0, 11, 20);
        h.Midi(0xB0, 64, 127);
        h.Midi(0xE0, 0x00, 0x00);
        h.Midi(0xB0, 121, 0);
    });
    EXPECT_NEAR(Rms(afterReset) / Rms(reference), 1.0, 0.01);
    EXPECT_NEAR(FrequencyOf(afterReset, 0.1, 0.5), 440.0, 5.0);
}

TEST(TonePrecision, FloatAndDoubleAgreeAndBlockSizesDoNotMatter) {
    auto render = [](bool precision, int block) {
        HostOptions options;
        options.doublePrecision = precision;
        options.blockSize = block;
        auto host = NewHost(options);
        ScheduleDenseSong(*host, 3.0);
        host->Render(Frames(3.0));
        return host;
    };
    const auto reference = render(true, 1024);
    const auto single = render(false, 1024);
    const auto oddBlocks = render(true, 333);
    const auto hostBlocks = render(true, static_cast<int>(kRate / 50 * 2));
    ASSERT_GT(Peak(reference->left), 0.1);
    double floatError = 0.0, blockError = 0.0;
    for (size_t i = 0; i < reference->left.size(); ++i) {
        for (auto side : {&ToneHost::left, &ToneHost::right}) {
            const double r = ((*reference).*side)[i];
            floatError = std::max(floatError, std::fabs(((*single).*side)[i] - r));
            blockError = std::max({blockError, std::fabs(((*oddBlocks).*side)[i] - r), std::fabs(((*hostBlocks).*side)[i] - r)});
        }
    }
    EXPECT_LE(floatError, 6e-8) << "float output is the double output, rounded";
    EXPECT_LE(blockError, 1e-12);
}

TEST(ToneSound, FamiliesDifferAndTheirEnvelopesSuitThem) {
    std::array<std::vector<double>, 16> notes;
    for (int family = 0; family < 16; ++family) notes[family] = RenderNote(static_cast<uint8_t>(family * 8), 60, 100);
    for (int a = 0; a < 16; ++a) {
        ASSERT_GT(Rms(notes[a]), 0.005) << "family " << a;
        for (int b = a + 1; b < 16; ++b) {
            double difference = 0.0;
            for (size_t i = 0; i < notes[a].size(); ++i) difference += std::pow(notes[a][i] - notes[b][i], 2);
            difference = std::sqrt(difference / notes[a].size());
            EXPECT_GT(difference, 0.3 * std::max(Rms(notes[a]), Rms(notes[b]))) << "families " << a << " and " << b;
        }
    }
    auto early = [](const std::vector<double>& x) { return Rms(x, Frames(0.0), Frames(0.02)); };
    auto settled = [](const std::vector<double>& x) { return Rms(x, Frames(0.05), Frames(0.1)); };
    auto late = [](const std::vector<double>& x) { return Rms(x, Frames(0.4), Frames(0.5)); };
    EXPECT_LT(late(notes[0]), 0.6 * settled(notes[0])) << "a piano dies away";
    EXPECT_NEAR(late(notes[2]) / settled(notes[2]), 1.0, 0.1) << "an organ holds";
    EXPECT_LT(early(notes[5]), 0.5 * late(notes[5])) << "strings swell";
    EXPECT_LT(early(notes[11]), 0.3 * late(notes[11])) << "a pad swells slowly";
    EXPECT_GT(early(notes[1]), late(notes[1])) << "a bell is struck";
}

TEST(ToneSound, DrumsOnChannelTenFollowTheKeyMap) {
    auto hit = [](uint8_t key, uint8_t program = 0) {
        auto host = NewHost();
        host->Midi(0xC9, program);  // a program change must not make channel 10 melodic
        host->Midi(0x99, key, 110);
        host->Render(Frames(1.0));
        return host->left;
    };
    const auto kick = hit(36), snare = hit(38), closedHat = hit(42), crash = hit(49, 24);
    const auto lowTom = hit(41), highTom = hit(50), nothing = hit(20);
    const size_t a = Frames(0.0), b = Frames(0.08);
    EXPECT_GT(Rms(kick, a, b), 0.01);
    EXPECT_LT(Crossings(kick, a, b), 0.2 * Crossings(snare, a, b)) << "a kick is low, a snare noisy";
    EXPECT_LT(Crossings(snare, a, b), Crossings(closedHat, a, b)) << "a hat is brighter still";
    EXPECT_LT(Crossings(lowTom, Frames(0.05), Frames(0.2)), Crossings(highTom, Frames(0.05), Frames(0.2)));
    EXPECT_GT(Rms(crash, Frames(0.5), Frames(0.6)), 10 * Rms(closedHat, Frames(0.5), Frames(0.6)))
        << "a cymbal rings on, a closed hat does not";
    EXPECT_EQ(Peak(nothing), 0.0) << "keys outside the map stay silent";

    auto host = NewHost();
    host->Midi(0x99, 46, 110);
    host->Render(Frames(0.2));
    host->Midi(0x99, 44, 1);  // the pedal closes the open hat
    host->Render(Frames(0.2));
    EXPECT_LT(Rms(host->left, Frames(0.25), Frames(0.3)), 0.05 * Rms(host->left, Frames(0.15), Frames(0.2)));
}

TEST(ToneVoices, StealingTakesReleasedNotesFirstThenTheOldestWithoutClicks) {
    // One loud note among quiet ones makes the victim visible in the mix.
    auto host = NewHost();
    host->Midi(0xC0, kOcarina);
    host->Midi(0xC1, kWarmPad);
    host->Midi(0xC2, kOcarina);
    host->Midi(0xB0, 7, 127);
    host->Midi(0x90, 48, 127);  // oldest, held
    host->Midi(0x91, 84, 127);  // released, but ringing for 1.5 s
    host->Render(Frames(0.1));
    host->Midi(0x81, 84, 0);
    for (int key = 40; key < 103; ++key) {
        if (key != 48) host->Midi(0x92, static_cast<uint8_t>(key), 1);
    }
    host->Render(Frames(0.1));  // 64 voices sound now
    host->Midi(0x92, 30, 1);
    host->Render(Frames(0.1));
    host->Midi(0x92, 31, 1);
    host->Render(Frames(0.1));

    const auto& x = host->left;
    auto amplitude = [&](int key, double from) { return ToneAmplitude(x, KeyHz(key), Frames(from), Frames(from + 0.05)); };
    EXPECT_GT(amplitude(84, 0.15), 0.003);
    EXPECT_LT(amplitude(84, 0.25), 0.01 * amplitude(84, 0.15)) << "the released note went first";
    EXPECT_GT(amplitude(48, 0.25), 0.5 * amplitude(48, 0.15)) << "the held note stayed";
    EXPECT_LT(amplitude(48, 0.35), 0.01 * amplitude(48, 0.15)) << "then the oldest held note went";

    // The loud sine starts, is stolen and fades without a jump larger than its own slope.
    const double slope = amplitude(48, 0.15) * 2.0 * kPi * KeyHz(48) / kRate;
    EXPECT_LT(MaxStep(x), 3.0 * slope);
}

#if !defined(_WIN32)
// Natively the instrument's operator new resolves to this program's, so an
// allocation on the audio path shows up here. (The Windows DLL links its own
// runtime statically: nothing to intercept there.)
namespace {
bool countAllocations = false;
int allocations = 0;
}  // namespace

void* operator new(size_t size) {
    if (countAllocations) ++allocations;
    void* p = std::malloc(size ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    if (countAllocations) ++allocations;
    return std::malloc(size ? size : 1);
}
// GCC cannot see that the replaced new above is malloc-based.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

TEST(ToneVoices, ProcessingDoesNotAllocate) {
    auto host = NewHost();
    vst2::AEffect* effect = host->Effect();
    std::vector<vst2::VstMidiEvent> notes(100);
    std::vector<char> storage(sizeof(vst2::VstEvents) + notes.size() * sizeof(vst2::VstEvent*));
    auto* events = reinterpret_cast<vst2::VstEvents*>(storage.data());
    events->numEvents = static_cast<int32_t>(notes.size());
    for (size_t i = 0; i < notes.size(); ++i) {
        notes[i] = {vst2::kVstMidiType, sizeof(vst2::VstMidiEvent), static_cast<int32_t>(i * 10), 0, 0, 0,
                    {static_cast<char>(i % 2 ? 0x99 : 0x90 | (i % 8)), static_cast<char>(30 + i % 60), 100, 0}, 0, 0, 0, 0};
        vst2::EventPointers(events)[i] = reinterpret_cast<vst2::VstEvent*>(&notes[i]);
    }
    std::vector<float> left(1024), right(1024);
    float* outputs[2] = {left.data(), right.data()};
    countAllocations = true;
    effect->dispatcher(effect, vst2::effProcessEvents, 0, 0, events, 0.0f);
    effect->processReplacing(effect, nullptr, outputs, 1024);
    effect->processReplacing(effect, nullptr, outputs, 1024);
    countAllocations = false;
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.0f);
}
#endif
