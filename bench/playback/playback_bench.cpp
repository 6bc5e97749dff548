// What the decoder adds to the instrument driven directly. The floor is
// the silent probe driven by a minimal loop on this thread (events, then the
// process call, for each instance, and the mix), with no host thread and no
// trip to it; the decoder plays the same instrument through its host
// thread, one trip per block. Both in the same run:
//   render   µs per block, decoder vs floor and what the decoder adds, 1 and
//            8 instances, and heap allocations per block once playing
//   seek     play-through µs per block vs the floor, and how far one seek
//            gets inside its five-second bound
//   handoff  (native) one host-thread round trip vs a plain mutex and
//            condition-variable handoff between two threads
// Run bin/playback_bench from the native-release tree, or the win32 tree's
// bin/playback_bench.exe under scripts/wine-run.sh.
#include <algorithm>
#include <memory>
#include <chrono>
#include <cstdlib>
#include <new>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame/decoder.h"
#include "frame/module.h"
#include "host_doubles.h"
#include "platform/text.h"
#include "playback/render_loop.h"
#include "probe_protocol.h"
#include "smf_builder.h"
#include "tone_host.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "../run_path.h"
#include "allocation_counter.h"

using namespace tavren;
using namespace tavren::test;
using Clock = std::chrono::steady_clock;

namespace {

std::u16string ProbePath() {
#if defined(_WIN32)
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string text = ToUtf8(reinterpret_cast<const char16_t*>(path));
    return FromUtf8(text.substr(0, text.find_last_of('\\') + 1) + "probe.dll");
#else
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string text(path, n > 0 ? static_cast<size_t>(n) : 0);
    return FromUtf8(text.substr(0, text.find_last_of('/') + 1) + "probe.so");
#endif
}

// A silent song of about twelve hours on `ports` ports (no note ever sounds),
// long enough that no seek reaches its end: seven maximal delta-times
// joined by empty text events.
Bytes SilentSong(int ports) {
    Bytes out = Header(ports == 1 ? 0 : 1, uint16_t(ports), 441);
    for (int p = 0; p < ports; ++p) {
        Bytes body = p == 0 ? Tempo(10000) : Bytes{};
        if (p > 0) body = body + Bytes{0x00, 0xFF, 0x21, 0x01, uint8_t(p)};
        for (int step = 0; step < 6; ++step) body = body + Vlq((1u << 28) - 1) + Bytes{0xFF, 0x01, 0x00};
        body = body + Vlq((1u << 28) - 1) + Bytes{0xFF, 0x2F, 0x00};
        out = out + Track(body);
    }
    return out;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The floor: one instance of the instrument per port driven directly on
// this thread, block by block, mixed as the decoder mixes.
struct Floor {
    std::vector<std::unique_ptr<ToneHost>> hosts;

    Floor(int ports, int blocks) {
        for (int p = 0; p < ports; ++p) {
            hosts.push_back(std::make_unique<ToneHost>(ToUtf8(ProbePath())));
            hosts.back()->left.reserve(static_cast<size_t>(blocks) * 1024);
            hosts.back()->right.reserve(static_cast<size_t>(blocks) * 1024);
        }
    }
    bool Ready() const {
        return std::all_of(hosts.begin(), hosts.end(), [](const auto& host) { return host->Ready(); });
    }
    void Block(float* buffer, int32_t frames) {
        for (size_t i = 0; i < hosts.size(); ++i) {
            ToneHost& host = *hosts[i];
            host.Render(frames);
            if (!buffer) continue;
            const double* left = host.left.data() + host.left.size() - frames;
            const double* right = host.right.data() + host.right.size() - frames;
            for (int32_t k = 0; k < frames; ++k) {
                const float l = static_cast<float>(left[k]), r = static_cast<float>(right[k]);
                buffer[2 * k] = i == 0 ? l : buffer[2 * k] + l;
                buffer[2 * k + 1] = i == 0 ? r : buffer[2 * k + 1] + r;
            }
        }
    }
};

struct Bench {
    MemoryStore store;
    TestHost host{&store};
    IHmxDecoderModule* module = nullptr;
    int blocksPerRound = 200;

    AxVstiDecoder* Open(int ports) {
        MemoryFile file(SilentSong(ports));
        IHmxDecoder* decoder = nullptr;
        if (!module->Open(nullptr, &file, nullptr, &decoder)) return nullptr;
        return static_cast<AxVstiDecoder*>(decoder);
    }

    void RenderAgainstFloor(int ports) {
        AxVstiDecoder* d = Open(ports);
        if (!d) return void(std::printf("render %d: open failed\n", ports));
        const int32_t block = d->Playback().blockSize;
        std::vector<float> buffer(2 * static_cast<size_t>(block));
        Floor direct(ports, 10 * blocksPerRound);
        if (!direct.Ready()) return void(std::printf("render %d: the probe cannot be driven directly\n", ports));
        std::vector<double> decoder, floor;
        for (int round = 0; round < 9; ++round) {  // alternating, so drift hits both alike
            auto t = Clock::now();
            for (int b = 0; b < blocksPerRound; ++b) d->Render(buffer.data(), 0);
            decoder.push_back(Seconds(t) * 1e6 / blocksPerRound);
            t = Clock::now();
            if (round % 2 == 0)  // the floor's outputs grow: every other round keeps them bounded
                for (int b = 0; b < blocksPerRound; ++b) direct.Block(buffer.data(), block);
            if (round % 2 == 0) floor.push_back(Seconds(t) * 1e6 / blocksPerRound);
        }
        double a = Median(decoder), f = Median(floor);
        StartCountingAllocations();
        for (int b = 0; b < blocksPerRound; ++b) d->Render(buffer.data(), 0);
        const long allocations = StopCountingAllocations();
        std::printf("render  %d instance(s): decoder %8.1f us/block  direct %8.1f us/block  the decoder adds %.1f us/block"
                    "  heap allocations %.2f/block (goal 0)\n",
                    ports, a, f, a - f, double(allocations) / blocksPerRound);
        d->Release();
    }

    void SeekAgainstFloor(int ports) {
        AxVstiDecoder* d = Open(ports);
        if (!d) return void(std::printf("seek %d: open failed\n", ports));
        const int32_t block = d->Playback().blockSize;
        Floor direct(ports, 5 * blocksPerRound);
        if (!direct.Ready()) return void(std::printf("seek %d: the probe cannot be driven directly\n", ports));
        std::vector<double> seek, floor;
        for (int round = 0; round < 9; ++round) {
            uint64_t from = d->Playback().playPosition;
            auto t = Clock::now();
            uint64_t reached = d->Seek(from + uint64_t(blocksPerRound) * block, 0);
            seek.push_back(Seconds(t) * 1e6 / double((reached - from) / uint64_t(block)));
            t = Clock::now();
            if (round % 2 == 0)
                for (int b = 0; b < blocksPerRound; ++b) direct.Block(nullptr, block);
            if (round % 2 == 0) floor.push_back(Seconds(t) * 1e6 / blocksPerRound);
        }
        double a = Median(seek), f = Median(floor);
        std::printf("seek    %d instance(s): play-through %8.1f us/block  direct %8.1f us/block  the decoder adds %.1f us/block\n",
                    ports, a, f, a - f);
        // One seek far beyond reach: where the five-second bound stops it.
        uint64_t from = d->Playback().playPosition;
        auto t = Clock::now();
        uint64_t reached = d->Seek(uint64_t(1) << 40, 0);
        double took = Seconds(t);
        std::printf("seek    %d instance(s): %.1f s of song reached in %.2f s (bound 5 s), %.0f x real time%s\n", ports,
                    double(reached - from) / d->Playback().sampleRate, took,
                    double(reached - from) / d->Playback().sampleRate / took,
                    reached >= d->Playback().songLength ? " (PAST THE SONG'S END: figure void)" : "");
        d->Release();
    }

    void Handoff() {
#if !defined(_WIN32)
        AxVstiDecoder* d = Open(1);
        if (!d) return;
        VstiInstance* instance = d->Playback().instances[0];
        const int n = 20000;
        std::vector<double> host, plain;
        for (int round = 0; round < 5; ++round) {
            auto t = Clock::now();
            for (int i = 0; i < n; ++i) Dispatch(instance, probe::kOpcodeEcho, i, nullptr, 0.0f);
            host.push_back(Seconds(t) * 1e6 / n);

            std::mutex lock;
            std::condition_variable changed;
            int request = 0, answered = 0;
            std::thread server([&] {
                std::unique_lock<std::mutex> hold(lock);
                for (int i = 1; i <= n; ++i) {
                    changed.wait(hold, [&] { return request == i; });
                    answered = i;
                    changed.notify_all();
                }
            });
            t = Clock::now();
            {
                std::unique_lock<std::mutex> hold(lock);
                for (int i = 1; i <= n; ++i) {
                    request = i;
                    changed.notify_all();
                    changed.wait(hold, [&] { return answered == i; });
                }
            }
            plain.push_back(Seconds(t) * 1e6 / n);
            server.join();
        }
        std::printf("handoff host thread round trip %.2f us   mutex+condition variable %.2f us   ratio %.3f (goal < 1)\n",
                    Median(host), Median(plain), Median(host) / Median(plain));
        d->Release();
#endif
    }
};

}  // namespace

int main(int argc, char** argv) {
    PrintRunPath();
    Bench bench;
    if (argc > 1) bench.blocksPerRound = std::max(10, std::atoi(argv[1]));
    bench.store.Put(u"VSTiPath_x86", ProbePath());
    bench.store.Put(u"Cache_x86", u"0");
    void* out = nullptr;
    if (CreateModuleInstance(&kIidHmxDecoderModule, &out, &bench.host) != kHmxOk) return 1;
    bench.module = static_cast<IHmxDecoderModule*>(out);
    std::printf("blocks per round: %d (1024 frames at 44100 Hz)\n", bench.blocksPerRound);
    for (int ports : {1, 8}) bench.RenderAgainstFloor(ports);
    for (int ports : {1, 8}) bench.SeekAgainstFloor(ports);
    bench.Handoff();
    bench.module->Release();
    return 0;
}
