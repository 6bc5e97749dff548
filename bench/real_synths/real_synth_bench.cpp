// Two songs through each real synth, each twice in the same run:
//   plug-in  the built plug-in file loaded through its export, the song opened
//            and rendered to its end as the host player does (loading the
//            instrument, the host thread, event routing, mixing, the tail)
//   direct   the same instrument driven by a minimal loop on this thread: one
//            instance per port, each block's events sent before the block,
//            the instances taking turns block by block as the plug-in's do
//   host process  the plug-in file again, with the instrument in a host
//            process of its own (the setting VSTiBridge_x86 at 2)
// All render the same number of frames. Each is run three times and the
// fastest run counts; wall and processor time are printed with the ratios
// plug-in / direct (what the plug-in adds) and host process / plug-in (what
// the host process adds), the trips to the host thread per block, counted
// by the plug-in's own code linked into this program, and how long opening
// the song takes, in-process and with a fresh host process. First, a song
// opened and left unrendered (a paused player): the processor it costs.
// The songs: assets/demo.mid (one port) and assets/eight_ports.mid (eight).
// Meaningful in the optimised trees.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../run_path.h"
#include "frame/module.h"
#include "midi/smf_reader.h"
#include "plugin_session.h"
#include "processor_time.h"
#include "real_synths.h"
#include "tone_host.h"
#include "vsthost/block_request.h"

namespace {

struct Cost {
    double wall = 1e300;
    double cpu = 1e300;
    void Keep(double w, double c) {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
};

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The processor time counts a host process's own, once it has ended
// (natively; on Windows only the player's process is counted).
template <typename Work>
void Measure(Cost& cost, Work work) {
    const double start = WallSeconds();
    const double cpuStart = ProcessorSeconds() + ChildrenProcessorSeconds();
    work();
    const double cpu = ProcessorSeconds() + ChildrenProcessorSeconds() - cpuStart;
    cost.Keep(WallSeconds() - start, cpu);
}

const char16_t* const kPathKey = u"VSTiPath_x86";
const char16_t* const kBridgeKey = u"VSTiBridge_x86";

// Renders the whole song through the plug-in file, keeping every sample as
// the direct loop keeps its own (in storage reserved beforehand, so neither
// side times its heap); the frames rendered, 0 on failure.
// opened: the seconds the open took (the module's first, so a host process
// starts within it); played: the seconds from the first block to the last.
uint64_t ThroughPlugin(const std::string& instrument, const std::vector<uint8_t>& song, bool hostProcess,
                       double* opened, double* played) {
    realsynth::PluginSession session(PLUGIN_PATH);
    if (!session.Ready()) return 0;
    session.Set(kPathKey, tavren::FromUtf8(instrument));
    session.Set(kBridgeKey, hostProcess ? u"2" : u"0");
    const double openStart = WallSeconds();
    tavren::IHmxDecoder* decoder = session.Open(song);
    *opened = WallSeconds() - openStart;
    if (!decoder) return 0;
    const tavren::HmxMediaInfo& info = realsynth::PluginSession::Info(decoder);
    const size_t sampleBytes = info.format == -64 ? 8 : 4;
    const size_t blockBytes = 2 * static_cast<size_t>(info.blockFrames) * sampleBytes;
    // The song's length and ten seconds of tail.
    // Not zeroed, as reserved capacity is not: both sides touch their pages as they fill them.
    const size_t keptBytes = realsynth::PluginSession::LengthFrames(decoder) * 2 * sampleBytes + 20 * 44100 * 8;
    std::unique_ptr<unsigned char[]> kept(new unsigned char[keptBytes]);
    std::vector<unsigned char> block(blockBytes);
    uint64_t frames = 0;
    size_t at = 0;
    const double playStart = WallSeconds();
    while (uint32_t got = decoder->Render(block.data(), static_cast<uint32_t>(blockBytes))) {
        const size_t bytes = 2 * static_cast<size_t>(got) * sampleBytes;
        if (at + bytes <= keptBytes) std::memcpy(kept.get() + at, block.data(), bytes);
        at += bytes;
        frames += got;
    }
    *played = WallSeconds() - playStart;
    realsynth::PluginSession::Close(decoder);
    return frames;
}

// The same render through the plug-in's code linked in here, for its count
// of trips to the host thread; gives trips per block, or -1.
double TripsPerBlock(const std::string& instrument, const std::vector<uint8_t>& song) {
    tavren::test::MemoryStore store;
    tavren::test::TestHost host{&store};
    store.Put(kPathKey, tavren::FromUtf8(instrument));
    void* out = nullptr;
    if (tavren::CreateModuleInstance(&tavren::kIidHmxDecoderModule, &out, &host) != tavren::kHmxOk) return -1;
    auto* module = static_cast<tavren::IHmxDecoderModule*>(out);
    double trips = -1;
    tavren::test::MemoryFile file(song);
    tavren::IHmxDecoder* decoder = nullptr;
    if (module->Open(nullptr, &file, nullptr, &decoder)) {
        const uint64_t before = tavren::HostTrips();
        const uint32_t block = realsynth::PluginSession::Info(decoder).blockFrames;
        const realsynth::Audio audio = realsynth::PluginSession::RenderFrames(decoder, UINT64_MAX);
        const uint64_t blocks = (audio.Frames() + block - 1) / block;
        if (blocks) trips = static_cast<double>(tavren::HostTrips() - before) / static_cast<double>(blocks);
        decoder->Release();
    }
    module->Release();
    return trips;
}

bool Direct(const std::string& instrument, const tavren::MidiSong& song, uint64_t frames) {
    const int ports = std::min(song.portCount, 8);
    std::vector<std::unique_ptr<ToneHost>> hosts;
    for (int p = 0; p < ports; ++p) {
        hosts.push_back(std::make_unique<ToneHost>(instrument));
        if (!hosts.back()->Ready()) return false;
        hosts.back()->left.reserve(frames);
        hosts.back()->right.reserve(frames);
    }
    for (const tavren::SongEvent& e : song.events) {
        if (tavren::IsEndOfTrack(e.message)) continue;
        const int port = e.port < ports ? e.port : 0;
        if (tavren::IsSysexMessage(e.message)) {
            for (int p = 0; p < ports; ++p)
                if (e.message == tavren::MsgSysexAllPorts || p == port) hosts[p]->SysexAt(e.time, e.sysex);
        } else {
            hosts[port]->MidiAt(e.time, uint8_t(e.message), uint8_t(e.message >> 8), uint8_t(e.message >> 16));
        }
    }
    constexpr int64_t kBlock = 1024;  // the plug-in's block size for these instruments
    for (int64_t at = 0; at < static_cast<int64_t>(frames); at += kBlock)
        for (auto& host : hosts) host->Render(std::min<int64_t>(kBlock, static_cast<int64_t>(frames) - at));
    return true;
}

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(HostPath(path), std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One instrument and song; false when it could not be played.
bool Compare(const std::string& instrument, const char* name, const std::vector<uint8_t>& bytes) {
    tavren::MidiSong song;
    if (!tavren::ReadSong(bytes.data(), static_cast<uint32_t>(bytes.size()), 44100, song)) return false;
    Cost plugin, direct, bridged;
    double openInProcess = 1e300, openFresh = 1e300, playInProcess = 1e300, playBridged = 1e300;
    uint64_t frames = 0;
    bool ok = true;
    for (int run = 0; run < 3 && ok; ++run) {
        double opened = 0, played = 0;
        Measure(plugin, [&] { frames = ThroughPlugin(instrument, bytes, false, &opened, &played); });
        openInProcess = std::min(openInProcess, opened);
        playInProcess = std::min(playInProcess, played);
        ok = frames > 0;
        if (ok) Measure(direct, [&] { ok = Direct(instrument, song, frames); });
        uint64_t bridgedFrames = 0;
        if (ok) Measure(bridged, [&] { bridgedFrames = ThroughPlugin(instrument, bytes, true, &opened, &played); });
        openFresh = std::min(openFresh, opened);
        playBridged = std::min(playBridged, played);
        ok = ok && bridgedFrames == frames;
    }
    if (!ok) return false;
    const double trips = TripsPerBlock(instrument, bytes);
    const double seconds = static_cast<double>(frames) / 44100.0;
    std::printf("%s: %s, %d port(s), %.1f s of audio at 44100 Hz (fastest of 3)\n", instrument.c_str(), name,
                std::min(song.portCount, 8), seconds);
    std::printf("  plug-in: %.3f s wall (%.0fx real time), %.3f s processor\n", plugin.wall, seconds / plugin.wall,
                plugin.cpu);
    std::printf("  direct:  %.3f s wall (%.0fx real time), %.3f s processor\n", direct.wall, seconds / direct.wall,
                direct.cpu);
    std::printf("  host process: %.3f s wall (%.0fx real time), %.3f s processor\n", bridged.wall,
                seconds / bridged.wall, bridged.cpu);
    std::printf("  plug-in / direct: %.2f wall, %.2f processor; %.2f trips to the host thread per block\n",
                plugin.wall / direct.wall, plugin.cpu / direct.cpu, trips);
    // The opening has a figure of its own (below): a fresh host process starts within it.
    std::printf("  host process / plug-in: %.2f wall while playing (%.3f s against %.3f s); whole run %.2f wall, "
                "%.2f processor (the host process's own included)\n",
                playBridged / playInProcess, playBridged, playInProcess, bridged.wall / plugin.wall,
                bridged.cpu / plugin.cpu);
    std::printf("  opening the song: %.0f ms in-process, %.0f ms with a fresh host process (+%.0f ms)\n",
                1000 * openInProcess, 1000 * openFresh, 1000 * (openFresh - openInProcess));
    std::fflush(stdout);
    return true;
}

// A song opened and rendered a little, then left alone for five seconds:
// the share of one core the process used meanwhile.
void PausedSong(const std::string& instrument, const std::vector<uint8_t>& song) {
    realsynth::PluginSession session(PLUGIN_PATH);
    if (!session.Ready()) return;
    session.Set(kPathKey, tavren::FromUtf8(instrument));
    tavren::IHmxDecoder* decoder = session.Open(song);
    if (!decoder) return;
    realsynth::PluginSession::RenderFrames(decoder, 10 * 1024);
    const double wall = WallSeconds(), cpu = ProcessorSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double share = (ProcessorSeconds() - cpu) / (WallSeconds() - wall);
    std::printf("%s: paused song (opened, 10 blocks rendered, then 5 s untouched): %.2f %% of one core\n",
                instrument.c_str(), 100.0 * share);
    realsynth::PluginSession::Close(decoder);
}

}  // namespace

int main(int argc, char** argv) {
    PrintRunPath();
    std::vector<std::string> instruments;
    for (int i = 1; i < argc; ++i) instruments.push_back(argv[i]);
    if (instruments.empty())
        for (const realsynth::RealPlugin& synth : realsynth::kStereoSynths)
            instruments.push_back(realsynth::PluginPath(synth.file));

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } songs[] = {{"demo song", ReadFile(DEMO_SONG)}, {"eight-port song", ReadFile(EIGHT_PORT_SONG)}};
    // First, before any instrument has left threads of its own behind.
    if (!instruments.empty()) PausedSong(instruments.front(), songs[0].bytes);
    int status = 0;
    for (const std::string& instrument : instruments) {
        for (const auto& song : songs) {
            if (Compare(instrument, song.name, song.bytes)) continue;
            std::fprintf(stderr, "real_synth_bench: %s could not play the %s\n", instrument.c_str(), song.name);
            status = 1;
        }
    }
    return status;
}
