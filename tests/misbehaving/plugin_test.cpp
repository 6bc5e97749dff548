// Instruments that misbehave, each played through the real plug-in: flags
// and counts changed after start-up, unterminated names, odd editor
// rectangles, callbacks from the instrument's own thread, a failed effOpen
// and a slow process call. Each ends with the plug-in's defined behaviour,
// nothing written past the host's buffer, and no hang.
#include "plugin_test.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "dynamic_library.h"
#include "message_box_watcher.h"

namespace tavren::test {

namespace {

using CreateInstanceProc = HmxResult(HMX_CALL*)(const HmxGuid* iid, void** out, IUnknown* host);

// Loaded once: the host player keeps the plug-in loaded while it runs.
CreateInstanceProc PluginEntry() {
    static DynamicLibrary library(PLUGIN_PATH);
    return reinterpret_cast<CreateInstanceProc>(library.Symbol("hmx_CreateInstance"));
}

constexpr size_t kGuardBytes = 4096;
constexpr unsigned char kGuard = 0xA5;

}  // namespace

Bytes HeldNotesSong(int ports, uint32_t length) {
    std::vector<Bytes> tracks;
    for (int p = 0; p < ports; ++p) {
        Bytes body = p == 0 ? Tempo(10000) : Bytes{0x00, 0xFF, 0x21, 0x01, uint8_t(p)};
        body = body + Bytes{0x00, uint8_t(0x90 | p), uint8_t(60 + p), 100} + Vlq(length) +
               Bytes{uint8_t(0x80 | p), uint8_t(60 + p), 0} + Bytes{0x00, 0xFF, 0x2F, 0x00};
        tracks.push_back(body);
    }
    Bytes out = Header(ports == 1 ? 0 : 1, uint16_t(ports), 441);
    for (const Bytes& body : tracks) out = out + Track(body);
    return out;
}

bool SuiteBridged() {
    const char* bridge = std::getenv("TAVREN_TEST_BRIDGE");
    return bridge && *bridge && std::strcmp(bridge, "0") != 0;
}

void PluginTest::SetUp() {
    ClearProbeVariables();
    ASSERT_NE(PluginEntry(), nullptr) << "the plug-in file or its export is missing: " << PLUGIN_PATH;
    store_.Put(u"VSTiPath_x86", LibraryPath("probe"));
    // The whole suite runs once more with the instrument in a host process.
    if (const char* bridge = std::getenv("TAVREN_TEST_BRIDGE")) store_.Put(u"VSTiBridge_x86", FromUtf8(bridge));
    module_ = CreateModule();
    ASSERT_NE(module_, nullptr);
}

void PluginTest::TearDown() {
    for (IHmxDecoder* decoder : open_) decoder->Release();
    open_.clear();
    if (module_) module_->Release();
    module_ = nullptr;
    ClearProbeVariables();
    EXPECT_EQ(store_.references(), 1) << "a reference on the settings store was not given back";
}

IHmxDecoderModule* PluginTest::CreateModule() {
    void* out = nullptr;
    if (PluginEntry()(&kIidHmxDecoderModule, &out, &host_) != kHmxOk) return nullptr;
    return static_cast<IHmxDecoderModule*>(out);
}

IHmxDecoder* PluginTest::Open(const Bytes& song, const HmxMediaInfo* request) {
    MemoryFile file(song);
    IHmxDecoder* decoder = nullptr;
    if (!module_->Open(request, &file, nullptr, &decoder) || !decoder) return nullptr;
    open_.push_back(decoder);
    return decoder;
}

void PluginTest::Close(IHmxDecoder* decoder) {
    for (size_t i = 0; i < open_.size(); ++i)
        if (open_[i] == decoder) open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
    decoder->Release();
}

HmxMediaInfo PluginTest::Info(IHmxDecoder* decoder) {
    HmxMediaInfo* info = nullptr;
    EXPECT_EQ(decoder->Select(1, &info, 0, 0), 1u);
    return info ? *info : HmxMediaInfo{};
}

Rendered PluginTest::RenderGuarded(IHmxDecoder* decoder) {
    const HmxMediaInfo info = Info(decoder);
    const bool doubles = info.format == -64;
    const size_t bytes = size_t(info.blockFrames) * 2 * (doubles ? sizeof(double) : sizeof(float));
    std::vector<unsigned char> buffer(bytes + kGuardBytes, kGuard);
    Rendered out;
    out.frames = decoder->Render(buffer.data(), uint32_t(bytes));
    for (size_t i = bytes; i < buffer.size(); ++i) out.guardIntact = out.guardIntact && buffer[i] == kGuard;
    EXPECT_LE(out.frames, info.blockFrames);
    for (uint32_t k = 0; k < 2 * out.frames; ++k) {
        double v;
        if (doubles) {
            std::memcpy(&v, buffer.data() + k * sizeof(double), sizeof v);
        } else {
            float f;
            std::memcpy(&f, buffer.data() + k * sizeof(float), sizeof f);
            v = f;
        }
        out.samples.push_back(v);
    }
    return out;
}

namespace {

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Held notes on every port: every frame carries the same non-zero value on
// the left and its negative on the right.
void ExpectSteadySignal(const Rendered& block) {
    ASSERT_GT(block.frames, 0u);
    EXPECT_NE(block.samples[0], 0.0);
    for (uint32_t k = 0; k < block.frames; ++k) {
        ASSERT_EQ(block.samples[2 * k], block.samples[0]) << "frame " << k;
        ASSERT_EQ(block.samples[2 * k + 1], -block.samples[0]) << "frame " << k;
    }
}

using MisbehavingInstrument = PluginTest;

TEST_F(MisbehavingInstrument, FlagsAndCountsChangedAtStartUp) {
    struct Case {
        const char* flags;
        const char* flagsOnStart;
        const char* outputs;
        const char* inputs;
        bool usableWhenCached;  // still an instrument a song can play through
    };
    for (Case c : {Case{"0x110", "0x1110", "1", "3", false}, Case{"0x1110", "0x110", "8", "0", true},
                   Case{"0x1110", "0x1100", "0", "-5", false},
                   Case{"0x110", "0x0", "2147483647", "2147483647", false}}) {
        SCOPED_TRACE(std::string(c.flags) + " -> " + c.flagsOnStart + ", outputs " + c.outputs + ", inputs " + c.inputs);
        // A fresh module per case: a host process has the environment it was started with.
        module_->Release();
        module_ = CreateModule();
        SetEnv("PROBE_FLAGS", c.flags);
        SetEnv("PROBE_FLAGS_ON_START", c.flagsOnStart);
        SetEnv("PROBE_OUTPUTS_ON_START", c.outputs);
        SetEnv("PROBE_INPUTS_ON_START", c.inputs);
        IHmxDecoder* d = Open(HeldNotesSong(2, 100000));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(Info(d).format, std::string(c.flags) == "0x110" ? -32 : -64);
        for (int b = 0; b < 4; ++b) {
            Rendered block = RenderGuarded(d);
            EXPECT_TRUE(block.guardIntact);
            EXPECT_EQ(block.frames, kBlockFrames);
            ExpectSteadySignal(block);
        }
        EXPECT_EQ(d->Seek(0, 0), 0u);
        EXPECT_TRUE(RenderGuarded(d).guardIntact);
        Close(d);  // cached, still reporting what it switched to

        // The next songs take the cached instances (both were switched): usable
        // ones play; an unusable one, taken first, fails the open with the
        // load-failure box and is destroyed, and the next song takes the other.
        ClearProbeVariables();
        MessageBoxWatcher boxes;  // closes those boxes under Windows
        for (int song = 0; song < 2; ++song) {
            SCOPED_TRACE(song == 0 ? "first song after it" : "second song after it");
            IHmxDecoder* next = Open(HeldNotesSong(2 - song, 100000));
            if (!c.usableWhenCached) {
                EXPECT_EQ(next, nullptr);
                if (next) Close(next);
                continue;
            }
            ASSERT_NE(next, nullptr);
            Rendered block = RenderGuarded(next);
            EXPECT_TRUE(block.guardIntact);
            ExpectSteadySignal(block);
            Close(next);
        }
#if defined(_WIN32)
        // Natively the plug-in's boxes go to its standard output, not to this watcher.
        EXPECT_TRUE(boxes.WaitForCount(c.usableWhenCached ? 0 : 2, 10000));
        EXPECT_EQ(boxes.Boxes().size(), c.usableWhenCached ? 0u : 2u);
#endif
        // Whatever was left in the cache, a song opens and plays afterwards.
        store_.Put(u"Cache_x86", u"0");
        IHmxDecoder* next = Open(HeldNotesSong(2, 100000));
        ASSERT_NE(next, nullptr);
        ExpectSteadySignal(RenderGuarded(next));
        Close(next);
        store_.Put(u"Cache_x86", u"1");
    }
}

TEST_F(MisbehavingInstrument, NamesOf300BytesWithoutATerminator) {
    SetEnv("PROBE_STRING_BYTES", "300");
    SetEnv("PROBE_FLAGS", "0x111");  // with an editor: its window title asks for the names too
    MessageBoxWatcher boxes;
    EXPECT_EQ(module_->ApplyConfig(u"General", u"Info", 0, 0, 0, 0, u""), 0);
#if defined(_WIN32)
    // Natively the plug-in's boxes go to its standard output, not to this watcher.
    ASSERT_TRUE(boxes.WaitForCount(1, 10000));
    const std::u16string text = boxes.Boxes()[0].text;
    EXPECT_NE(text.find(u"vendor: " + std::u16string(64, u'V') + u"\r\n"), std::u16string::npos) << ToUtf8(text);
    EXPECT_NE(text.find(u"product: " + std::u16string(64, u'P') + u"\r\n"), std::u16string::npos);
#endif
    store_.Put(u"ShowEditor", u"1");
    IHmxDecoder* d = Open(HeldNotesSong(2, 100000));
    ASSERT_NE(d, nullptr);
    for (int b = 0; b < 3; ++b) EXPECT_TRUE(RenderGuarded(d).guardIntact);
    Close(d);
}

TEST_F(MisbehavingInstrument, EditorRectanglesNullOrAbsurd) {
    for (const char* variable : {"PROBE_EDITOR_NO_RECT", "PROBE_EDITOR_ABSURD_RECT"}) {
        SCOPED_TRACE(variable);
        ClearProbeVariables();
        SetEnv("PROBE_FLAGS", "0x111");
        SetEnv(variable, "1");
        store_.Put(u"ShowEditor", u"1");
        store_.Put(u"Cache_x86", u"0");
        IHmxDecoder* d = Open(HeldNotesSong(4, 100000));
        ASSERT_NE(d, nullptr);
        for (int b = 0; b < 3; ++b) ExpectSteadySignal(RenderGuarded(d));
        store_.Put(u"ShowEditor", u"0");
        d->UpdateConfig(0);
        store_.Put(u"ShowEditor", u"1");
        d->UpdateConfig(0);
        EXPECT_TRUE(RenderGuarded(d).guardIntact);
        Close(d);
    }
}

TEST_F(MisbehavingInstrument, HostCallbacksFromItsOwnThreadWhileTheSongPlays) {
    ProbeLog log;
    SetEnv("PROBE_CALLBACK_THREAD", "1");
    IHmxDecoder* d = Open(HeldNotesSong(3, 100000));
    ASSERT_NE(d, nullptr);
    for (int b = 0; b < 20; ++b) ExpectSteadySignal(RenderGuarded(d));
    EXPECT_EQ(d->Seek(0, 0), 0u);
    EXPECT_EQ(d->Seek(10 * kBlockFrames, 0), uint64_t(10 * kBlockFrames));
    Close(d);
    std::vector<std::string> stops = log.Matching({"callbackthread "});
    ASSERT_EQ(stops.size(), 3u) << "one thread per instance, ended by effStopProcess";
    for (const std::string& line : stops) EXPECT_GT(LineValue(line, "calls="), 0) << line;
}

TEST_F(MisbehavingInstrument, EffOpenFailingInsideTheInstrumentPlaysSilence) {
    SetEnv("PROBE_FAIL_OPEN", "1");
    IHmxDecoder* d = Open(HeldNotesSong(2, 4410));
    ASSERT_NE(d, nullptr);
    uint64_t frames = 0;
    int blocks = 0;
    for (; blocks < 500; ++blocks) {
        Rendered block = RenderGuarded(d);
        EXPECT_TRUE(block.guardIntact);
        for (double v : block.samples) ASSERT_EQ(v, 0.0);
        if (block.frames == 0) break;
        frames += block.frames;
    }
    EXPECT_LT(blocks, 500) << "a silent song ends after half a second of silence";
    EXPECT_GE(frames, 22050u);
    Close(d);
}

// Generous margins: the sleeps dominate, and emulated 32-bit code may be
// many times slower than native code.
TEST_F(MisbehavingInstrument, ASecondPerProcessCallKeepsSeekAndDestructionBounded) {
    SetEnv("PROBE_SLEEP_MS", "1000");
    IHmxDecoder* d = Open(HeldNotesSong(1, 441000));
    ASSERT_NE(d, nullptr);
    ExpectSteadySignal(RenderGuarded(d));

    auto start = Clock::now();
    EXPECT_EQ(d->Seek(0, 0), 0u);
    EXPECT_LT(SecondsSince(start), 5.0 + 1.0 + 6.0);

    start = Clock::now();
    EXPECT_LT(d->Seek(200 * kBlockFrames, 0), uint64_t(200 * kBlockFrames));
    EXPECT_LT(SecondsSince(start), 5.0 + 1.0 + 6.0);

    start = Clock::now();
    Close(d);
    module_->Release();
    module_ = nullptr;
    EXPECT_LT(SecondsSince(start), 5.0) << "closing calls no process function";
}

}  // namespace
}  // namespace tavren::test
