// Writes the song target's seed corpus into the folder given: real-looking
// songs (several ports, loop markers, SysEx resets and master volume, tempo
// changes, odd divisions, notes past the end, tracks without an end), each
// with a few choices of instrument and settings and a script of host actions
// (song_input.h).
#include <cstdio>
#include <string>
#include <vector>

#include "common/seed_files.h"
#include "smf_builder.h"
#include "song_input.h"

namespace {

using tavren::test::Bytes;
using tavren::test::Header;
using tavren::test::kEot;
using tavren::test::Tempo;
using tavren::test::Track;
using tavren::test::Vlq;
using namespace songfuzz;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One event after `delta` ticks.
Bytes At(uint32_t delta, const Bytes& message) { return Cat({Vlq(delta), message}); }
Bytes Note(uint32_t delta, int channel, int key, int velocity) {
    return At(delta, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)});
}
Bytes Control(uint32_t delta, int channel, int controller, int value) {
    return At(delta, {uint8_t(0xB0 | channel), uint8_t(controller), uint8_t(value)});
}
Bytes Port(int port) { return {0x00, 0xFF, 0x21, 0x01, uint8_t(port)}; }
Bytes Sysex(uint32_t delta, const Bytes& afterF0) {
    Bytes out = Cat({Vlq(delta), {0xF0}, Vlq(uint32_t(afterF0.size())), afterF0});
    return out;
}
Bytes TempoAt(uint32_t delta, uint32_t microseconds) {
    return At(delta,
              {0xFF, 0x51, 0x03, uint8_t(microseconds >> 16), uint8_t(microseconds >> 8), uint8_t(microseconds)});
}
Bytes EndAt(uint32_t delta) { return At(delta, {0xFF, 0x2F, 0x00}); }

Bytes File(uint16_t division, std::initializer_list<Bytes> tracks) {
    Bytes out = Header(tracks.size() == 1 ? 0 : 1, uint16_t(tracks.size()), division);
    for (const Bytes& body : tracks) out = Cat({out, Track(body)});
    return out;
}

// A phrase of notes on one channel, every note released.
Bytes Phrase(int channel, int firstKey, int notes, uint32_t step) {
    Bytes out = At(0, {uint8_t(0xC0 | channel), uint8_t(channel * 7 % 128)});
    for (int i = 0; i < notes; ++i)
        out = Cat({out, Note(i ? step / 4 : 0, channel, firstKey + i % 12, 90),
                   Note(step * 3 / 4, channel, firstKey + i % 12, 0)});
    return out;
}

const Bytes kGmOn = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
const Bytes kXgOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
const Bytes kGsReset = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const Bytes kMasterVolume = {0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7};

struct Song {
    const char* name;
    Bytes file;
};

std::vector<Song> Songs() {
    Bytes longSysex(200, 0x11);
    longSysex.push_back(0xF7);
    return {
        {"ports", File(480, {Cat({Tempo(500000), TempoAt(960, 400000), EndAt(3840)}),
                             Cat({Port(0), Sysex(0, kGsReset), Phrase(0, 60, 8, 480), EndAt(0)}),
                             Cat({Port(1), Phrase(1, 48, 6, 480), Control(0, 1, 7, 90), EndAt(0)}),
                             Cat({Port(2), Sysex(0, kMasterVolume), Phrase(9, 36, 12, 240), EndAt(0)})})},
        {"loop", File(96, {Cat({Tempo(600000), Phrase(0, 64, 2, 96), Control(0, 0, 111, 0), Phrase(0, 67, 4, 96),
                                EndAt(96)})})},
        {"loop_late", File(96, {Cat({Tempo(300000), Phrase(2, 50, 3, 48)}),
                                Cat({Port(1), Control(400, 3, 111, 0), Note(0, 3, 70, 100), Note(48, 3, 70, 0),
                                     EndAt(0)})})},
        {"xg", File(480, {Cat({Sysex(0, kGmOn), Sysex(10, kXgOn), Sysex(10, longSysex), Phrase(0, 60, 4, 240),
                              At(0, {0xF7, 0x02, 0x43, 0xF7}), EndAt(0)})})},
        {"tempo_storm", File(24, {Cat({Tempo(1), TempoAt(1, 0xFFFFFF), Note(0, 0, 60, 100), TempoAt(2, 250000),
                                       Note(3, 0, 60, 0), TempoAt(1, 8000000), EndAt(5)})})},
        {"division_1", File(1, {Cat({Tempo(100000), Note(0, 0, 72, 100), Note(1, 0, 72, 0), EndAt(1)})})},
        {"division_max", File(0x7FFF, {Cat({Phrase(0, 40, 3, 0x4000), EndAt(0)})})},
        {"division_smpte", File(0xE728, {Cat({Phrase(4, 55, 3, 20), EndAt(0)})})},
        {"held_forever", File(480, {Cat({Tempo(500000), Note(0, 0, 60, 100), EndAt(480)})})},
        {"note_past_end", File(480, {Cat({EndAt(480)}), Cat({Note(4800, 1, 61, 100), Note(480, 1, 61, 0)})})},
        {"no_end", File(480, {Cat({Tempo(500000), Phrase(0, 60, 4, 120)})})},
        {"eleven_ports", [] {
             Bytes file = Header(1, 11, 120);
             for (int p = 0; p < 11; ++p)
                 file = Cat({file, Track(Cat({Port(p), Phrase(p % 16, 50 + p, 2, 120), EndAt(0)}))});
             return file;
         }()},
    };
}

struct Variant {
    const char* name;
    uint8_t settings[kSettingsBytes];  // instrument, request, rate, reset, volume, flags
    std::vector<Action> actions;
};

std::vector<Variant> Variants() {
    return {
        {"probe", {0, 0, 0, 0, 0, 0}, {{RenderBlocks, 7, 0}, {SeekTo, SeekStart, 0}, {RenderBlocks, 3, 0}}},
        {"probe_double", {1, 3, 3, 4, 3, 1}, {{RenderBlocks, 1, 0}, {SeekTo, SeekNearTail, 120}, {RenderToEnd, 0, 0}}},
        {"tone", {2, 2, 1, 2, 2, 0}, {{RenderBlocks, 15, 0}, {ChangeSetting, 0, 3}, {RenderBlocks, 3, 0},
                                      {SelectSong, 2, 0}, {SecondDecoder, 1, 0}}},
        {"probe_outputs", {3, 4, 6, 6, 8, 2}, {{RenderNoBuffer, 3, 0}, {SeekTo, SeekInSong, 128}, {RenderBlocks, 2, 0},
                                               {SeekTo, SeekHuge, 0}, {RenderBlocks, 0, 0}, {SeekTo, SeekStart, 0}}},
        {"probe_editor", {4, 0, 2, 1, 7, 3}, {{RenderBlocks, 2, 0}, {ChangeSetting, 3, 0}, {SeekTo, SeekBlockEdge, 9},
                                              {ChangeSetting, 2, 0}, {SecondDecoder, 3, 0}, {RenderToEnd, 0, 0}}},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::vector<Variant> variants = Variants();
    size_t v = 0;
    for (const Song& song : Songs()) {
        // Two variants per song, turn by turn, so that each song meets several instruments.
        for (int k = 0; k < 2; ++k, ++v) {
            const Variant& variant = variants[v % variants.size()];
            const Bytes input = EncodeSongInput(variant.settings, variant.actions, song.file);
            const std::string name = std::string(song.name) + "-" + variant.name + ".bin";
            if (!fuzzsupport::WriteSeed(argv[1], name, input.data(), input.size())) return 1;
        }
    }
    return 0;
}
