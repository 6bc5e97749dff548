// Builds Standard MIDI File bytes in tests, so that each case (including the
// malformed ones) reads as one line, and reads them back into a song from a
// buffer of exactly the file's size (so AddressSanitizer sees any overread).
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "midi/smf_reader.h"

namespace tavren::test {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes Be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }

// Shortest encoding of a variable-length quantity (values below 2^28).
inline Bytes Vlq(uint32_t v) {
    Bytes out{uint8_t(v & 0x7F)};
    while (v >>= 7) out.insert(out.begin(), uint8_t(0x80 | (v & 0x7F)));
    return out;
}

inline Bytes Header(uint16_t format, uint16_t trackCount, uint16_t division, int32_t length = 6) {
    Bytes out = Bytes{'M', 'T', 'h', 'd'} + Be32(uint32_t(length)) + Be16(format) + Be16(trackCount) + Be16(division);
    if (length > 6) out.resize(out.size() + size_t(length - 6), 0);
    return out;
}

inline Bytes Chunk(const char* tag, int32_t declaredLength, const Bytes& body) {
    return Bytes(tag, tag + 4) + Be32(uint32_t(declaredLength)) + body;
}

inline Bytes Track(const Bytes& body) { return Chunk("MTrk", int32_t(body.size()), body); }

// A format-1 file (format 0 when there is one track) of complete track chunks.
inline Bytes Smf(uint16_t division, std::initializer_list<Bytes> bodies) {
    Bytes out = Header(bodies.size() == 1 ? 0 : 1, uint16_t(bodies.size()), division);
    for (const Bytes& body : bodies) out = out + Track(body);
    return out;
}

// RIFF MIDI: chunks (each padded to an even length) inside "RIFF" size "RMID".
inline Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
inline Bytes RiffChunk(const char* tag, const Bytes& body) {
    Bytes chunk = Bytes(tag, tag + 4) + Le32(uint32_t(body.size())) + body;
    if (body.size() % 2) chunk.push_back(0);
    return chunk;
}
inline Bytes Rmid(std::initializer_list<Bytes> chunks) {
    Bytes inside = {'R', 'M', 'I', 'D'};
    for (const Bytes& c : chunks) inside = inside + c;
    return Bytes{'R', 'I', 'F', 'F'} + Le32(uint32_t(inside.size())) + inside;
}

// Delta-time 0 events.
inline Bytes Tempo(uint32_t microseconds) {
    return {0x00, 0xFF, 0x51, 0x03, uint8_t(microseconds >> 16), uint8_t(microseconds >> 8), uint8_t(microseconds)};
}
const Bytes kEot = {0x00, 0xFF, 0x2F, 0x00};

struct ReadResult {
    bool ok = false;
    MidiSong song;
};

inline ReadResult Read(const Bytes& file, int32_t rate = 44100) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[file.size()]);
    if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
    ReadResult r;
    r.ok = ReadSong(exact.get(), uint32_t(file.size()), rate, r.song);
    return r;
}

// "TIME MESSAGE PORT SYSEX", the dump tool's event line.
inline std::string Describe(const SongEvent& e) {
    char head[64];
    std::snprintf(head, sizeof head, "%" PRId64 " %08" PRIx32 " %" PRId32 " ", e.time, e.message, e.port);
    std::string out = head;
    for (uint8_t b : e.sysex) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        out += hex;
    }
    if (e.sysex.empty()) out += "-";
    return out;
}

inline std::vector<std::string> Lines(const MidiSong& song) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < song.eventCount; ++i) out.push_back(Describe(EventAt(song, i)));
    return out;
}

inline std::vector<int64_t> Times(const MidiSong& song) {
    std::vector<int64_t> out;
    for (int32_t i = 0; i < song.eventCount; ++i) out.push_back(EventAt(song, i).time);
    return out;
}

}  // namespace tavren::test
