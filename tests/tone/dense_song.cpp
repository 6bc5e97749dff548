#include "dense_song.h"

#include <cstdint>

#include "tone_host.h"

namespace {

constexpr double kStepSeconds = 60.0 / 140.0 / 4.0;  // sixteenth notes at 140 beats per minute
constexpr int kScale[7] = {0, 2, 3, 5, 7, 8, 10};

class Random {
public:
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state = 12345;
};

int ScaleNote(int base, int degree) { return base + 12 * (degree / 7) + kScale[degree % 7]; }

void ScheduleDrums(ToneHost& host, int step, int64_t at) {
    const uint8_t on = 0x99;
    if (step % 4 == 0) host.MidiAt(at, on, 36, 120);
    if (step % 8 == 4) host.MidiAt(at, on, 38, 110);
    host.MidiAt(at, on, step % 8 == 6 ? 46 : 42, step % 2 ? 70 : 95);
    if (step % 64 == 0) host.MidiAt(at, on, 49, 110);
    if (step % 16 >= 12) host.MidiAt(at, on, 41 + 2 * (step % 4), 100);
    if (step % 16 == 2) host.MidiAt(at, on, 51, 80);
}

}  // namespace

void ScheduleDenseSong(ToneHost& host, double seconds) {
    const double rate = host.SampleRate();
    Random random;
    for (int ch = 0; ch < 16; ++ch) {
        const uint8_t cc = static_cast<uint8_t>(0xB0 | ch);
        host.MidiAt(0, static_cast<uint8_t>(0xC0 | ch), static_cast<uint8_t>(ch * 8 + ch % 8));
        host.MidiAt(0, cc, 7, 100);
        host.MidiAt(0, cc, 10, static_cast<uint8_t>(8 + ch * 7));
    }
    const int steps = static_cast<int>(seconds / kStepSeconds);
    for (int step = 0; step < steps; ++step) {
        const int64_t at = static_cast<int64_t>(step * kStepSeconds * rate);
        const int64_t stepFrames = static_cast<int64_t>(kStepSeconds * rate);
        ScheduleDrums(host, step, at);
        const int chordRoot = (step / 16) % 4 * 2;
        for (int ch = 0; ch < 16; ++ch) {
            if (ch == 9) continue;
            const uint8_t on = static_cast<uint8_t>(0x90 | ch);
            const int base = 36 + 12 * (ch % 3);
            if (ch % 2 == 0 && step % 4 == 0) {
                // Chords for a beat, held across the bar by the pedal on some channels.
                for (int v = 0; v < 3; ++v) {
                    const uint8_t key = static_cast<uint8_t>(ScaleNote(base, chordRoot + 2 * v));
                    host.MidiAt(at, on, key, static_cast<uint8_t>(70 + random.Below(50)));
                    host.MidiAt(at + 4 * stepFrames - 1, on, key, 0);
                }
            } else if (ch % 2 == 1 && random.Below(3) != 0) {
                const uint8_t key = static_cast<uint8_t>(ScaleNote(base + 12, chordRoot + random.Below(9)));
                host.MidiAt(at, on, key, static_cast<uint8_t>(60 + random.Below(60)));
                host.MidiAt(at + stepFrames * (1 + random.Below(2)), 0x80 | ch, key, 64);
            }
            const uint8_t cc = static_cast<uint8_t>(0xB0 | ch);
            if (step % 16 == 0) host.MidiAt(at, cc, 64, ch % 4 == 0 ? 127 : 0);
            if (step % 16 == 14) host.MidiAt(at, cc, 64, 0);
            if (ch % 5 == 1) host.MidiAt(at, cc, 1, static_cast<uint8_t>((step * 9) % 128));
            if (ch % 4 == 3) host.MidiAt(at, cc, 11, static_cast<uint8_t>(80 + (step * 5) % 48));
            if (ch == 7) {
                const int bend = 8192 + ((step % 8) - 4) * 900;
                host.MidiAt(at, static_cast<uint8_t>(0xE0 | ch), static_cast<uint8_t>(bend & 0x7F),
                          static_cast<uint8_t>(bend >> 7));
            }
        }
    }
}
