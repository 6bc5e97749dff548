// Writes a small seed corpus of MIDI files into the folder given: the shapes
// the reader's tests exercise (tempo changes, SysEx, running status, port
// prefixes, several tracks, cut-off and oversized chunks), bare and in RIFF
// MIDI wrappers, sound and lying.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes Header(uint16_t format, uint16_t tracks, uint16_t division) {
    return Cat({{'M', 'T', 'h', 'd'}, Be32(6), {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
                                               uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)}});
}

Bytes Track(const Bytes& body, int32_t extra = 0) {
    return Cat({{'M', 'T', 'r', 'k'}, Be32(uint32_t(int32_t(body.size()) + extra)), body});
}

const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// A RIFF chunk, padded to an even length.
Bytes RiffChunk(const char* tag, const Bytes& body) {
    Bytes chunk = Cat({Bytes(tag, tag + 4), Le32(uint32_t(body.size())), body});
    if (body.size() % 2) chunk.push_back(0);
    return chunk;
}

// "RIFF" size "RMID" and the chunks; extra is added to the declared size.
Bytes Rmid(std::initializer_list<Bytes> chunks, int32_t extra = 0) {
    Bytes inside = {'R', 'M', 'I', 'D'};
    for (const Bytes& c : chunks) inside = Cat({inside, c});
    return Cat({{'R', 'I', 'F', 'F'}, Le32(uint32_t(int32_t(inside.size()) + extra)), inside});
}

bool Write(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Bytes notes = {0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0xFF, 0x01, 0x01, 0x41, 0x60, 0x80, 0x3C, 0x00};
    const Bytes tempo = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x21, 0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};
    const Bytes sysex = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xF7, 0x03, 0xF0, 0x41, 0xF7,
                         0x00, 0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7};
    const Bytes port = {0x00, 0xFF, 0x21, 0x01, 0x03, 0x00, 0xC5, 0x10, 0x10, 0xD5, 0x40, 0x00, 0xE5, 0x00, 0x40};
    const struct {
        const char* name;
        Bytes bytes;
    } seeds[] = {
        {"format0.mid", Cat({Header(0, 1, 480), Track(Cat({tempo, notes, kEot}))})},
        {"format1.mid", Cat({Header(1, 3, 96), Track(Cat({tempo, kEot})), Track(Cat({notes, kEot})),
                             Track(Cat({port, notes}))})},
        {"sysex.mid", Cat({Header(0, 1, 480), Track(Cat({sysex, notes, kEot}))})},
        {"cutoff.mid", Cat({Header(1, 2, 480), Track(Cat({notes, kEot})), Track(Cat({notes, {0x00, 0xF0, 0x7F}}), 6)})},
        {"trailing.mid", Cat({Header(1, 2, 480), Track(Cat({kEot, notes})), Track(notes)})},
        {"wide_delta.mid", Cat({Header(0, 1, 1), Track(Cat({{0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x3C, 0x64}, tempo, notes}))})},
        {"riff.mid", Rmid({RiffChunk("LIST", {'I', 'N', 'F', 'O', 'x'}),
                           RiffChunk("data", Cat({Header(0, 1, 480), Track(Cat({sysex, notes, kEot}))})),
                           RiffChunk("DISP", {1, 2, 3})})},
        {"riff_lying.mid", Rmid({RiffChunk("data", Cat({Header(0, 1, 480), Track(Cat({notes, kEot}))}))}, 6)},
        {"riff_no_data.mid", Rmid({RiffChunk("LIST", {'I', 'N', 'F', 'O'})})},
    };
    for (const auto& seed : seeds) {
        if (!Write(dir + "/" + seed.name, seed.bytes)) {
            std::fprintf(stderr, "make_seeds: cannot write %s/%s\n", dir.c_str(), seed.name);
            return 1;
        }
    }
    return 0;
}
