// Reading speed and peak memory of the MIDI file reader, on generated files:
// 16 tracks of 500,000 notes (16 million events, running status, some SysEx,
// a few tempo changes in track 0), and 1,000,000 events with 10,000 tempo
// changes spread through track 0. Timed from the file image in memory to the
// finished song. Memory is counted by this program's operator new.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "midi/smf_reader.h"
#include "../run_path.h"

namespace {

size_t liveBytes = 0;
size_t peakBytes = 0;

// Each block carries its size in front, so that delete can count it.
constexpr size_t kHead = alignof(std::max_align_t);

void* Allocate(size_t size) {
    auto* p = static_cast<unsigned char*>(std::malloc(size + kHead));
    if (!p) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(p) = size;
    liveBytes += size;
    if (liveBytes > peakBytes) peakBytes = liveBytes;
    return p + kHead;
}

void Release(void* block) {
    if (!block) return;
    auto* p = static_cast<unsigned char*>(block) - kHead;
    liveBytes -= *reinterpret_cast<size_t*>(p);
    std::free(p);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

void PutVlq(Bytes& out, uint32_t v) {
    uint8_t tmp[4];
    int n = 0;
    do {
        tmp[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v && n < 4);
    while (n-- > 0) out.push_back(uint8_t(tmp[n] | (n ? 0x80 : 0)));
}

void PutTempo(Bytes& out, uint32_t delta, uint32_t microseconds) {
    PutVlq(out, delta);
    out.insert(out.end(), {0xFF, 0x51, 0x03, uint8_t(microseconds >> 16), uint8_t(microseconds >> 8), uint8_t(microseconds)});
}

// One track: `notes` notes (On, then Off as Note On with velocity 0) under
// running status, a GS-style SysEx every 5,000 notes, and `tempos` tempo
// changes spread evenly (in place of a note's leading gap).
Bytes MakeTrack(uint8_t channel, uint32_t notes, uint32_t tempos) {
    Bytes body;
    body.reserve(size_t(notes) * 7 + 64);
    const uint32_t tempoEvery = tempos ? notes / tempos : 0;
    bool haveStatus = false;
    for (uint32_t i = 0; i < notes; ++i) {
        uint32_t gap = 10;
        if (tempoEvery && i % tempoEvery == 0) {
            PutTempo(body, gap, 400000 + (i / tempoEvery % 7) * 30011);
            gap = 0;
        }
        if (i % 5000 == 2500) {
            PutVlq(body, gap);
            body.insert(body.end(), {0xF0, 0x07, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0xF7});
            gap = 0;
            haveStatus = false;
        }
        const uint8_t key = uint8_t(36 + (i * 7 + channel) % 60);
        PutVlq(body, gap);
        if (!haveStatus) body.push_back(uint8_t(0x90 | channel));
        haveStatus = true;
        body.insert(body.end(), {key, 0x64});
        PutVlq(body, 20);
        body.insert(body.end(), {key, 0x00});
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes chunk = {'M', 'T', 'r', 'k'};
    Put32(chunk, uint32_t(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

Bytes MakeFile(uint16_t tracks, uint32_t notesPerTrack, uint32_t tempos) {
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, uint8_t(tracks >> 8), uint8_t(tracks), 0x01, 0xE0};
    for (uint16_t t = 0; t < tracks; ++t) {
        const Bytes track = MakeTrack(uint8_t(t % 16), notesPerTrack, t == 0 ? tempos : 0);
        file.insert(file.end(), track.begin(), track.end());
    }
    return file;
}

struct Result {
    double eventsPerSecond = 0;
    int32_t events = 0;
    double peakPerEvent = 0;
    double peakOverFinalArray = 0;
};

Result Measure(const Bytes& file, int repeats) {
    Result best;
    for (int r = 0; r < repeats; ++r) {
        tavren::MidiSong song;
        const size_t before = liveBytes;
        peakBytes = liveBytes;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = tavren::ReadSong(file.data(), uint32_t(file.size()), 44100, song);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok) {
            std::fprintf(stderr, "read failed\n");
            std::exit(1);
        }
        const double peak = double(peakBytes - before);
        const double finalArray = double(song.events.capacity() * sizeof(tavren::SongEvent));
        const size_t leftOver = liveBytes - before;
        size_t sysexBytes = 0;
        for (const tavren::SongEvent& e : song.events) sysexBytes += e.sysex.capacity();
        if (leftOver != size_t(finalArray) + sysexBytes) {
            std::fprintf(stderr, "unexpected memory left after reading: %zu bytes\n", leftOver);
            std::exit(1);
        }
        const double rate = song.eventCount / seconds;
        if (rate > best.eventsPerSecond) best.eventsPerSecond = rate;
        best.events = song.eventCount;
        best.peakPerEvent = peak / song.eventCount;
        best.peakOverFinalArray = peak / finalArray;
    }
    return best;
}

void Report(const char* name, const Result& r) {
    std::printf("%-34s %9d events  %6.2f M events/s  peak %5.1f bytes/event (%.2f x final array)\n", name, r.events,
                r.eventsPerSecond / 1e6, r.peakPerEvent, r.peakOverFinalArray);
}

}  // namespace

int main() {
    PrintRunPath();
    std::printf("sizeof(SongEvent) = %zu\n", sizeof(tavren::SongEvent));
    {
        const Bytes big = MakeFile(16, 500000, 4);
        Report("16 tracks x 500,000 notes", Measure(big, 3));
    }
    const Bytes few = MakeFile(4, 125000, 4);
    const Bytes many = MakeFile(4, 125000, 10000);
    const Result a = Measure(few, 5);
    const Result b = Measure(many, 5);
    Report("1M events, 4 tempo changes", a);
    Report("1M events, 10,000 tempo changes", b);
    std::printf("per-event speed with 10,000 tempo changes: %.2f of the speed with 4\n",
                b.eventsPerSecond / a.eventsPerSecond);
    return 0;
}
