// Renders a dense 16-channel song through the built tone library, the way
// the plug-in's host drives it, and prints how much faster than real time
// that ran. Meaningful in the optimised tree (native-release).
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>

#include "dense_song.h"
#include "tone_host.h"
#include "../run_path.h"

int main(int argc, char** argv) {
    PrintRunPath();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    HostOptions options;
    options.sampleRate = 44100.0;
    options.blockSize = 1024;
    ToneHost host(TONE_PATH, options);
    if (!host.Ready()) {
        std::fprintf(stderr, "tone_bench: cannot load %s\n", TONE_PATH);
        return 2;
    }
    ScheduleDenseSong(host, seconds);
    const auto frames = static_cast<int64_t>(seconds * options.sampleRate);
    host.left.reserve(static_cast<size_t>(frames));
    host.right.reserve(static_cast<size_t>(frames));

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    host.Render(frames);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // Wall time suffers when other work shares the machine; processor time does not.
    std::printf("tone: %.1f s of a dense 16-channel song at %.0f Hz: %.3f s wall (%.1fx real time), "
                "%.3f s processor (%.1fx real time)\n",
                seconds, options.sampleRate, elapsed, seconds / elapsed, cpu, seconds / cpu);
    std::printf("tone: peak left %.3f right %.3f, rms left %.3f right %.3f\n", Peak(host.left), Peak(host.right),
                Rms(host.left), Rms(host.right));
    return 0;
}
