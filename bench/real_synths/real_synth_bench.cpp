// The demo song through each real synth, twice in the same run:
//   plug-in  the built plug-in file loaded through its export, the song opened
//            and rendered to its end as the host player does (loading the
//            instrument, the host thread, event routing, mixing, the tail)
//   direct   the same instrument driven by a minimal loop on this thread: one
//            instance per port, the song's events sent before each block
// Both render the same number of frames. Each is run three times and the
// fastest run counts; wall and processor time are printed, and their ratio
// shows what the plug-in adds. Meaningful in the optimised tree.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "midi/smf_reader.h"
#include "plugin_session.h"
#include "real_synths.h"
#include "tone_host.h"

namespace {

struct Cost {
    double wall = 1e300;
    double cpu = 1e300;
    void Keep(double w, double c) {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
};

// Processor time of the whole process, every thread included (the plug-in
// renders on its host thread). The C library's clock() counts wall time on Windows.
double ProcessorSeconds() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

template <typename Work>
void Measure(Cost& cost, Work work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessorSeconds();
    work();
    const double cpu = ProcessorSeconds() - cpuStart;
    cost.Keep(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpu);
}

// Renders the whole song through the plug-in; the frames rendered, 0 on failure.
uint64_t ThroughPlugin(const std::string& instrument, const std::vector<uint8_t>& song) {
    realsynth::PluginSession session(PLUGIN_PATH);
    if (!session.Ready()) return 0;
    session.Set(u"VSTiPath_x86", tavren::FromUtf8(instrument));
    tavren::IHmxDecoder* decoder = session.Open(song);
    if (!decoder) return 0;
    const realsynth::Audio audio = realsynth::PluginSession::RenderFrames(decoder, UINT64_MAX);
    realsynth::PluginSession::Close(decoder);
    return audio.Frames();
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
    for (auto& host : hosts) host->Render(static_cast<int64_t>(frames));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> instruments;
    for (int i = 1; i < argc; ++i) instruments.push_back(argv[i]);
    if (instruments.empty())
        for (const realsynth::RealPlugin& synth : realsynth::kStereoSynths)
            instruments.push_back(realsynth::PluginPath(synth.file));

    std::ifstream in(DEMO_SONG, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tavren::MidiSong song;
    if (!tavren::ReadSong(bytes.data(), static_cast<uint32_t>(bytes.size()), 44100, song)) {
        std::fprintf(stderr, "real_synth_bench: cannot read %s\n", DEMO_SONG);
        return 2;
    }
    int status = 0;
    for (const std::string& instrument : instruments) {
        Cost plugin, direct;
        uint64_t frames = 0;
        bool ok = true;
        for (int run = 0; run < 3 && ok; ++run) {
            Measure(plugin, [&] { frames = ThroughPlugin(instrument, bytes); });
            ok = frames > 0;
            if (ok) Measure(direct, [&] { ok = Direct(instrument, song, frames); });
        }
        if (!ok) {
            std::fprintf(stderr, "real_synth_bench: %s could not be played\n", instrument.c_str());
            status = 1;
            continue;
        }
        const double seconds = static_cast<double>(frames) / 44100.0;
        std::printf("%s: demo song, %.1f s of audio at 44100 Hz (fastest of 3)\n", instrument.c_str(), seconds);
        std::printf("  plug-in: %.3f s wall (%.0fx real time), %.3f s processor\n", plugin.wall, seconds / plugin.wall,
                    plugin.cpu);
        std::printf("  direct:  %.3f s wall (%.0fx real time), %.3f s processor\n", direct.wall, seconds / direct.wall,
                    direct.cpu);
        std::printf("  plug-in / direct: %.2f wall, %.2f processor\n", plugin.wall / direct.wall, plugin.cpu / direct.cpu);
    }
    return status;
}
