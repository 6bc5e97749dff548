// The plug-in's output, sample for sample, for the default instrument (tone)
// and the probe, against fingerprints of renders recorded once: how blocks
// travel to the host thread may change, what the instruments are sent and
// what the plug-in mixes may not. Each case renders the demo song or the
// eight-port song with seeks between stretches of blocks; the fingerprint
// is an FNV-1a hash of every sample's bytes, and the frame count. Seeks stay
// short enough for the five-second bound even on an emulated machine, so no
// case depends on the machine's speed. Tone's arithmetic differs in the last
// bits between the Windows and the native C runtime: each has its record.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "dynamic_library.h"
#include "plugin_test.h"

namespace tavren::test {
namespace {

struct Step {
    enum Kind { Blocks, SeekTo, ToTheEnd } kind;
    uint64_t value;  // blocks to render, or the seek target in frames
};

struct Case {
    const char* name;
    const char* instrument;  // "tone" or "probe"
    const char* song;        // DEMO_SONG or EIGHT_PORT_SONG
    std::vector<Step> steps;
    uint64_t frames;       // recorded
    uint64_t hash;         // recorded natively
    uint64_t windowsHash;  // recorded in both Windows builds
    // The probe's log, recorded; 0 where none is kept: tone keeps none, and
    // before a backward seek the instruments may or may not have rendered
    // the block after the last one handed back (it is dropped by the reset).
    uint64_t logHash;
};

struct Fingerprint {
    uint64_t frames = 0;
    uint64_t hash = 14695981039346656037u;
    void Add(const void* bytes, size_t size) {
        const auto* p = static_cast<const unsigned char*>(bytes);
        for (size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 1099511628211u;
    }
};

// The probe's log without what varies from run to run: the thread ids, and
// the serial numbers, renumbered in their order of first appearance.
uint64_t LogFingerprint(const std::vector<std::string>& lines) {
    Fingerprint print;
    std::map<std::string, std::string> serials;
    for (std::string line : lines) {
        if (line.rfind("tid=", 0) == 0) line.erase(0, line.find(' ') + 1);
        const size_t at = line.find("serial=");
        if (at != std::string::npos) {
            const size_t end = line.find(' ', at);
            std::string serial = line.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
            auto known = serials.emplace(serial, std::to_string(serials.size())).first;
            line.replace(at + 7, serial.size(), known->second);
        }
        print.Add(line.data(), line.size());
        print.Add("\n", 1);
    }
    return print.hash;
}

Bytes ReadSongFile(const char* path) {
    std::ifstream in(HostPath(path), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SameOutput : public PluginTest, public ::testing::WithParamInterface<Case> {};

TEST_P(SameOutput, AsRecorded) {
    const Case& c = GetParam();
    std::unique_ptr<ProbeLog> log;
    if (c.logHash) log = std::make_unique<ProbeLog>();
    store_.Put(u"VSTiPath_x86", LibraryPath(c.instrument));
    module_->Release();
    module_ = CreateModule();  // the instrument path is read when the first song opens
    ASSERT_NE(module_, nullptr);
    const Bytes song = ReadSongFile(c.song);
    ASSERT_FALSE(song.empty()) << c.song;
    IHmxDecoder* d = Open(song);
    ASSERT_NE(d, nullptr);
    Fingerprint print;
    for (const Step& step : c.steps) {
        if (step.kind == Step::SeekTo) {
            const uint64_t reached = d->Seek(step.value, 0);
            print.Add(&reached, sizeof reached);
            continue;
        }
        for (uint64_t b = 0; step.kind == Step::ToTheEnd || b < step.value; ++b) {
            Rendered block = RenderGuarded(d);
            ASSERT_TRUE(block.guardIntact);
            if (block.frames == 0) break;
            print.frames += block.frames;
            print.Add(block.samples.data(), block.samples.size() * sizeof(double));
        }
    }
#if defined(_WIN32)
    const uint64_t recorded = c.windowsHash;
#else
    const uint64_t recorded = c.hash;
#endif
    EXPECT_EQ(print.frames, c.frames) << c.name;
    EXPECT_EQ(print.hash, recorded) << c.name << std::hex << ": 0x" << print.hash;
    if (!log) return;
    // Closed and released: the log then holds every call of the song.
    Close(d);
    module_->Release();
    module_ = nullptr;
    const uint64_t logHash = LogFingerprint(log->Lines());
    EXPECT_EQ(logHash, c.logHash) << c.name << std::hex << ": log 0x" << logHash;
}

using S = Step;
const Case kCases[] = {
    {"ToneDemo", "tone", DEMO_SONG, {{S::ToTheEnd, 0}}, 2875733, 0xb324eb1ddc54d764, 0xc10264534ca9077f, 0},
    {"ProbeEightPorts", "probe", EIGHT_PORT_SONG, {{S::ToTheEnd, 0}}, 2871774, 0x286398bc885e5be9, 0x286398bc885e5be9, 0xe3e4a2eeaad4ba65},
    {"ToneDemoSeeks",
     "tone",
     DEMO_SONG,
     {{S::Blocks, 200}, {S::SeekTo, 0}, {S::Blocks, 100}, {S::SeekTo, 300 * 1024 + 17}, {S::Blocks, 10},
      {S::SeekTo, 310 * 1024 + 3}, {S::Blocks, 5}, {S::SeekTo, 250 * 1024}, {S::ToTheEnd, 0}},
     2942293, 0x5f8a6ade463390b9, 0x442f44408d334df2, 0},
    {"ProbeEightPortsSeeks",
     "probe",
     EIGHT_PORT_SONG,
     {{S::Blocks, 100}, {S::SeekTo, 30 * 1024}, {S::Blocks, 50}, {S::SeekTo, 300 * 1024}, {S::ToTheEnd, 0}},
     2718174, 0x9bd27fe7ed8ce749, 0x9bd27fe7ed8ce749, 0},
};

INSTANTIATE_TEST_SUITE_P(Renders, SameOutput, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavren::test
