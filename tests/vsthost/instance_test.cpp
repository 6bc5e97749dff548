// Opening instances: acceptance, loading once, buffers and block sizes,
// the start-up and stop sequences, and the cache of idle instances.
#include <cstring>

#include "frame/instance_cache.h"
#include "frame/module_state.h"
#include "frame/null_config.h"
#include "probe_fixture.h"
#include "probe_protocol.h"

namespace tavren::test {
namespace {

struct Refused {
    const char* flags;
    const char* outputs;
};

class RefusedEffectTest : public ProbeTest, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedEffectTest, IsClosedAtOnceAndYieldsNoInstance) {
    ProbeLog log;
    SetEnv("PROBE_FLAGS", GetParam().flags);
    SetEnv("PROBE_OUTPUTS", GetParam().outputs);
    EXPECT_EQ(AcquireInstance(&config_), nullptr);
    EXPECT_EQ(log.Matching({"dispatch ", " op=1 "}).size(), 1u);
    EXPECT_EQ(log.Matching({"dispatch ", " op=0 "}).size(), 0u);
    // The library stays loaded for the next try.
    platform::LockGuard lock(HostLock);
    ASSERT_NE(CurrentHost, nullptr);
    EXPECT_TRUE(IsLoaded(probePath_));
}

INSTANTIATE_TEST_SUITE_P(Effects, RefusedEffectTest,
                         ::testing::Values(Refused{"0x110", "1"},     // one output
                                           Refused{"0x1010", "2"},    // no synth flag
                                           Refused{"0x101", "2"},     // no replacing flag
                                           Refused{"0x1110", "0"}));  // no outputs at all

class AcceptedEffectTest : public ProbeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(AcceptedEffectTest, IsOpenedAndGetsAFreshInstance) {
    ProbeLog log;
    SetEnv("PROBE_FLAGS", GetParam());
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->effect->user, instance);
    EXPECT_EQ(instance->host, CurrentHost);
    EXPECT_EQ(instance->channels, nullptr);
    EXPECT_EQ(instance->blockSize, 0);
    const vst2::VstTimeInfo& time = instance->timeInfo;
    EXPECT_EQ(time.tempo, 120.0);
    EXPECT_EQ(time.timeSigNumerator, 4);
    EXPECT_EQ(time.timeSigDenominator, 4);
    EXPECT_EQ(time.flags, 0x2600);
    EXPECT_EQ(time.samplePos + time.sampleRate + time.nanoSeconds + time.ppqPos, 0.0);
    EXPECT_EQ(log.Matching({"dispatch ", " op=0 "}).size(), 1u);
    EXPECT_EQ(log.Matching({"dispatch ", " op=1 "}).size(), 0u);
    DestroyInstance(instance);
    EXPECT_EQ(log.Matching({"dispatch ", " op=1 "}).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Effects, AcceptedEffectTest, ::testing::Values("0x110", "0x1100", "0x1111"));

class AcquireTest : public ProbeTest {};

TEST_F(AcquireTest, EntryPointReturningNullYieldsNoInstanceAndNoCall) {
    ProbeLog log;
    SetEnv("PROBE_REFUSE", "1");
    EXPECT_EQ(AcquireInstance(&config_), nullptr);
    EXPECT_EQ(log.Matching({"dispatch "}).size(), 0u);
}

TEST_F(AcquireTest, NoPathStartsNoHost) {
    AxHmxNullConfig* nullConfig = new AxHmxNullConfig();
    EXPECT_EQ(AcquireInstance(nullConfig), nullptr);
    nullConfig->Release();
    PathConfig empty(u"");
    EXPECT_EQ(AcquireInstance(&empty), nullptr);
    EXPECT_EQ(CurrentHost, nullptr);
}

TEST_F(AcquireTest, AFailedLoadLeavesNoHostSoTheNextCallTriesAgain) {
    config_.SetPath(LibraryPath("notaplugin"));
    EXPECT_EQ(AcquireInstance(&config_), nullptr);
    EXPECT_EQ(CurrentHost, nullptr);
    config_.SetPath(probePath_);
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    DestroyInstance(instance);
}

TEST_F(AcquireTest, ALoadedLibraryIsNeitherReloadedNorItsPathReadAgain) {
    ProbeLog log;
    VstiInstance* first = AcquireProbe();
    ASSERT_NE(first, nullptr);
    VstiHost* host = CurrentHost;
    const int reads = config_.reads();
    config_.SetPath(u"");
    VstiInstance* second = AcquireInstance(&config_);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(CurrentHost, host);
    EXPECT_EQ(second->host, host);
    EXPECT_EQ(config_.reads(), reads);
    EXPECT_EQ(log.Matching({"entry name="}).size(), 2u);
    EXPECT_EQ(log.Matching({"unload"}).size(), 0u);
    DestroyInstance(first);
    DestroyInstance(second);
}

// --- buffers and block sizes ---------------------------------------------------

TEST(BlockSize, OnlyTheNamedLibraryAfterTheLastBackslashGetsTheRateDerivedSize) {
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\MAmiVSTi.dll", 44100), 1764);
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\MAmiVSTi.dll", 48000), 1920);
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\MAmiVSTi.dll", 22049), 880);  // 22049 / 50 truncates to 440
    EXPECT_EQ(BlockSizeFor(u"c:\\synths\\mamivsti.dll", 44100), 1764);
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\MAMIVSTI.DLL", 48000), 1920);
    EXPECT_EQ(BlockSizeFor(u"\\MAmiVSTi.dll", 44100), 1764);
    EXPECT_EQ(BlockSizeFor(u"MAmiVSTi.dll", 44100), kDefaultBlockSize);  // no directory at all
    EXPECT_EQ(BlockSizeFor(u"C:/Synths/MAmiVSTi.dll", 44100), kDefaultBlockSize);
    EXPECT_EQ(BlockSizeFor(u"C:\\MAmiVSTi.dll\\other.dll", 44100), kDefaultBlockSize);
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\MAmiVSTi.dll.bak", 44100), kDefaultBlockSize);
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\xMAmiVSTi.dll", 44100), kDefaultBlockSize);
    EXPECT_EQ(BlockSizeFor(u"C:\\Synths\\", 44100), kDefaultBlockSize);
}

template <typename Sample>
void ExpectLayout(const VstiInstance* instance, int outputs, int inputs) {
    const int32_t block = instance->blockSize;
    auto* base = static_cast<Sample*>(instance->channels[0]);
    for (int c = 0; c < outputs + inputs; ++c) {
        auto* channel = static_cast<Sample*>(instance->channels[c]);
        EXPECT_EQ(channel, base + c * block) << "channel " << c;
        for (int32_t i = 0; i < block; ++i) ASSERT_EQ(channel[i], Sample(0)) << "channel " << c << " sample " << i;
    }
    if (inputs)
        EXPECT_EQ(instance->inputChannels, instance->channels + outputs);
    else
        EXPECT_EQ(instance->inputChannels, nullptr);
}

class BuffersTest : public ProbeTest {};

TEST_F(BuffersTest, FloatChannelsOutputsFirstThenInputs) {
    SetEnv("PROBE_OUTPUTS", "3");
    SetEnv("PROBE_INPUTS", "2");
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));
    EXPECT_EQ(instance->blockSize, kDefaultBlockSize);
    EXPECT_EQ(instance->sampleRate, 44100);
    ExpectLayout<float>(instance, 3, 2);
    DestroyInstance(instance);
}

TEST_F(BuffersTest, DoubleChannelsWhenTheEffectCanProcessDoubles) {
    SetEnv("PROBE_FLAGS", "0x1100");
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 48000));
    ExpectLayout<double>(instance, 2, 0);
    DestroyInstance(instance);
}

TEST_F(BuffersTest, KeptAtTheSameBlockSizeRenewedAndZeroedAtAnother) {
    // The block-size rule looks at the name after the last backslash; natively
    // a backslash is an ordinary file-name character, so both builds load a
    // path of that shape.
    std::u16string quirky = CopyProbeAs("tavren quirk\\mamivsti.DLL");
    config_.SetPath(quirky);
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));
    EXPECT_EQ(instance->blockSize, 1764);
    void** channels = instance->channels;
    static_cast<float*>(channels[1])[5] = 0.25f;

    // Same block size at another rate, and again through the cache: same buffers, same contents.
    ASSERT_TRUE(PrepareBuffers(instance, 44120));
    EXPECT_EQ(instance->sampleRate, 44120);
    {
        platform::LockGuard lock(HostLock);
        CacheInstance(CurrentHost, instance);
    }
    ASSERT_EQ(AcquireInstance(&config_), instance);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));
    EXPECT_EQ(instance->channels, channels);
    EXPECT_EQ(static_cast<float*>(instance->channels[1])[5], 0.25f);

    ASSERT_TRUE(PrepareBuffers(instance, 48000));
    EXPECT_EQ(instance->blockSize, 1920);
    ExpectLayout<float>(instance, 2, 0);
    DestroyInstance(instance);
}

// --- start, stop, process, destroy ------------------------------------------

class SequenceTest : public ProbeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SequenceTest, StartAndStopSendTheirCallsInOrderOnTheHostThread) {
    const bool doubles = GetParam();
    ProbeLog log;
    SetEnv("PROBE_FLAGS", doubles ? "0x1110" : "0x110");
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 48000));
    StartInstance(instance);
    StopInstance(instance);
    const uint32_t hostThread = CurrentHost->threadId;
    DestroyInstance(instance);

    const std::vector<std::string> expected = {
        "op=0 index=0 value=0 opt=0",      // effOpen
        "op=2 index=0 value=0 opt=0",      // effSetProgram 0
        "op=10 index=0 value=0 opt=48000", // effSetSampleRate
        "op=11 index=0 value=1024 opt=0",  // effSetBlockSize
        doubles ? "op=77 index=0 value=1 opt=0" : "op=77 index=0 value=0 opt=0",
        "op=12 index=0 value=1 opt=0",     // effMainsChanged 1
        "op=71 index=0 value=0 opt=0",     // effStartProcess
        "op=72 index=0 value=0 opt=0",     // effStopProcess
        "op=12 index=0 value=0 opt=0",     // effMainsChanged 0
        "op=1 index=0 value=0 opt=0",      // effClose
    };
    std::vector<std::string> calls = log.Matching({"dispatch "});
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_NE(calls[i].find(expected[i]), std::string::npos) << calls[i];
        EXPECT_EQ(LineThread(calls[i]), hostThread);
    }
}

INSTANTIATE_TEST_SUITE_P(Precision, SequenceTest, ::testing::Bool());

template <typename Sample>
void ExpectProbeSignal(VstiInstance* instance, int32_t onset, double expected) {
    auto* left = static_cast<Sample*>(instance->channels[0]);
    auto* right = static_cast<Sample*>(instance->channels[1]);
    for (int32_t i = 0; i < 64; ++i) {
        const double want = i < onset ? 0.0 : expected;
        ASSERT_EQ(static_cast<double>(left[i]), want) << "frame " << i;
        ASSERT_EQ(static_cast<double>(right[i]), -want) << "frame " << i;
    }
}

TEST_P(SequenceTest, ProcessRendersTheEventsSentIntoTheChannelBuffers) {
    const bool doubles = GetParam();
    ProbeLog log;
    SetEnv("PROBE_FLAGS", doubles ? "0x1110" : "0x110");
    VstiInstance* instance = AcquireProbe();
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));
    StartInstance(instance);

    vst2::VstMidiEvent noteOn = {};
    noteOn.type = vst2::kVstMidiType;
    noteOn.byteSize = sizeof noteOn;
    noteOn.deltaFrames = 10;
    noteOn.midiData[0] = static_cast<char>(0x92);  // channel 3
    noteOn.midiData[1] = 60;
    noteOn.midiData[2] = 100;
    vst2::VstEvents events = {};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<vst2::VstEvent*>(&noteOn);
    Dispatch(instance, vst2::effProcessEvents, 0, &events, 0.0f);
    ProcessOnHost(instance, 64);

    const double expected = probe::TagOf(0) + probe::NoteValue(2, 60);
    if (doubles)
        ExpectProbeSignal<double>(instance, 10, expected);
    else
        ExpectProbeSignal<float>(instance, 10, expected);
    EXPECT_EQ(log.Matching({"events=1 [midi d=10 92 3c 64]"}).size(), 1u);
    EXPECT_EQ(log.Matching({"process serial=0 frames=64 precision=", doubles ? "double" : "float"}).size(), 1u);
    StopInstance(instance);
    DestroyInstance(instance);
}

// --- the cache ------------------------------------------------------------------

class CacheTest : public ProbeTest {
protected:
    std::vector<VstiInstance*> AcquireMany(int count) {
        std::vector<VstiInstance*> instances;
        for (int i = 0; i < count; ++i) instances.push_back(AcquireProbe());
        return instances;
    }
    void Cache(VstiInstance* instance) {
        platform::LockGuard lock(HostLock);
        CacheInstance(CurrentHost, instance);
    }
    std::vector<long long> ClosedSerials(const ProbeLog& log) {
        std::vector<long long> serials;
        for (const std::string& line : log.Matching({"dispatch ", " op=1 "}))
            serials.push_back(LineValue(line, "serial="));
        return serials;
    }
};

TEST_F(CacheTest, ASongOfEightKeepsTheFirstFourAndClosesTheRest) {
    ProbeLog log;
    std::vector<VstiInstance*> song = AcquireMany(8);
    for (VstiInstance* instance : song) Cache(instance);
    for (int slot = 0; slot < kCacheSlotCount; ++slot) EXPECT_EQ(CurrentHost->cacheSlots[slot], song[slot]);
    EXPECT_EQ(ClosedSerials(log), (std::vector<long long>{4, 5, 6, 7}));

    // The next song of three takes slots 0, 1, 2 and opens nothing.
    EXPECT_EQ(AcquireInstance(&config_), song[0]);
    EXPECT_EQ(AcquireInstance(&config_), song[1]);
    EXPECT_EQ(AcquireInstance(&config_), song[2]);
    EXPECT_EQ(CurrentHost->cacheSlots[3], song[3]);
    EXPECT_EQ(log.Matching({"entry name="}).size(), 8u);
    for (int i = 0; i < 3; ++i) DestroyInstance(song[i]);
}

TEST_F(CacheTest, AFifthInstanceForAFullCacheIsTheOneClosed) {
    ProbeLog log;
    std::vector<VstiInstance*> instances = AcquireMany(5);
    for (int i = 0; i < 4; ++i) Cache(instances[i]);
    Cache(instances[4]);
    EXPECT_EQ(ClosedSerials(log), (std::vector<long long>{4}));
    for (int slot = 0; slot < kCacheSlotCount; ++slot) EXPECT_EQ(CurrentHost->cacheSlots[slot], instances[slot]);
}

TEST_F(CacheTest, ANullInstanceFlushesEverySlotInOrder) {
    ProbeLog log;
    std::vector<VstiInstance*> instances = AcquireMany(3);
    Cache(instances[0]);
    Cache(instances[1]);
    Cache(instances[2]);
    {
        // Leave a gap: slot 1 empty, slot 3 empty.
        platform::LockGuard lock(HostLock);
        std::swap(CurrentHost->cacheSlots[1], CurrentHost->cacheSlots[3]);
    }
    Cache(nullptr);
    EXPECT_EQ(ClosedSerials(log), (std::vector<long long>{0, 2, 1}));
    for (VstiInstance* slot : CurrentHost->cacheSlots) EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(TakeFromCache(CurrentHost), nullptr);
}

}  // namespace
}  // namespace tavren::test
