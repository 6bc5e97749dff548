// Renders a fixed event script through the built tone library and writes it
// as raw little-endian doubles (every 8th frame, left and right interleaved),
// or compares such a rendering with a file: the check that the Windows build
// sounds like the native one.
//
//   tonerender --write FILE              write the rendering
//   tonerender --compare FILE [TOLERANCE] exit 1 if any sample differs more
//
// To regenerate the checked-in reference after a deliberate change of sound,
// from the native tree:
//   build/native/bin/tonerender --write tests/tone/data/tonerender_reference.f64
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dense_song.h"
#include "tone_host.h"

namespace {

constexpr int kDecimation = 8;

std::vector<double> RenderScript() {
    HostOptions options;
    options.doublePrecision = true;
    ToneHost host(TONE_PATH, options);
    if (!host.Ready()) {
        std::fprintf(stderr, "tonerender: cannot load %s\n", TONE_PATH);
        std::exit(2);
    }
    const double rate = options.sampleRate;
    ScheduleDenseSong(host, 1.5);
    host.SysexAt(static_cast<int64_t>(0.6 * rate), {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x60, 0xF7});
    host.SysexAt(static_cast<int64_t>(1.0 * rate), {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    host.Render(static_cast<int64_t>(1.6 * rate));
    std::vector<double> samples;
    for (size_t i = 0; i < host.left.size(); i += kDecimation) {
        samples.push_back(host.left[i]);
        samples.push_back(host.right[i]);
    }
    return samples;
}

// Both builds run on little-endian machines: the bytes are the doubles.
bool WriteFile(const std::string& path, const std::vector<double>& samples) {
    FILE* file = std::fopen(HostPath(path).c_str(), "wb");
    if (file == nullptr) return false;
    const size_t written = std::fwrite(samples.data(), sizeof(double), samples.size(), file);
    return std::fclose(file) == 0 && written == samples.size();
}

bool ReadFile(const std::string& path, std::vector<double>& samples) {
    FILE* file = std::fopen(HostPath(path).c_str(), "rb");
    if (file == nullptr) return false;
    double value;
    while (std::fread(&value, sizeof value, 1, file) == 1) samples.push_back(value);
    std::fclose(file);
    return true;
}

int Compare(const std::string& path, double tolerance) {
    std::vector<double> expected;
    if (!ReadFile(path, expected)) {
        std::fprintf(stderr, "tonerender: cannot read %s\n", path.c_str());
        return 2;
    }
    const std::vector<double> actual = RenderScript();
    if (actual.size() != expected.size()) {
        std::fprintf(stderr, "tonerender: %zu samples, the reference has %zu\n", actual.size(), expected.size());
        return 1;
    }
    double worst = 0.0, peak = 0.0;
    size_t worstAt = 0;
    for (size_t i = 0; i < actual.size(); ++i) {
        const double difference = std::fabs(actual[i] - expected[i]);
        if (!(difference <= worst)) {
            worst = difference;
            worstAt = i;
        }
        peak = std::fmax(peak, std::fabs(expected[i]));
    }
    std::printf("tonerender: %zu samples, peak %.4f, largest difference %.3g at %zu (tolerance %.3g)\n",
                actual.size(), peak, worst, worstAt, tolerance);
    // A silent reference would make the comparison meaningless.
    return worst <= tolerance && peak > 0.1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--write") == 0) {
        if (!WriteFile(argv[2], RenderScript())) {
            std::fprintf(stderr, "tonerender: cannot write %s\n", argv[2]);
            return 2;
        }
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--compare") == 0) {
        return Compare(argv[2], argc >= 4 ? std::atof(argv[3]) : 1e-5);
    }
    std::fprintf(stderr, "usage: tonerender --write FILE | --compare FILE [TOLERANCE]\n");
    return 2;
}
