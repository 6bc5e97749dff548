// smfdump FILE [--rate R]: prints the timeline the reader makes of a MIDI
// file, one event per line, so that a file can be debugged or the reader
// compared with others. Exit status: 0 read, 1 rejected ("error"), 2 unreadable.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "midi/smf_reader.h"

namespace {

bool LoadFile(const char* path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok && bytes.size() <= UINT32_MAX;
}

void PrintSong(const tavren::MidiSong& song) {
    std::printf("events %" PRId32 "\nlength %" PRId64 "\nports %" PRId32 "\nreset %" PRIu32 "\n", song.eventCount,
                song.lengthSamples, song.portCount, static_cast<uint32_t>(song.detectedReset));
    std::string hex;
    for (int32_t i = 0; i < song.eventCount; ++i) {
        const tavren::SongEvent& e = tavren::EventAt(song, i);
        hex.clear();
        for (uint8_t b : e.sysex) {
            static const char kDigits[] = "0123456789abcdef";
            hex += kDigits[b >> 4];
            hex += kDigits[b & 15];
        }
        std::printf("%" PRId64 " %08" PRIx32 " %" PRId32 " %s\n", e.time, e.message, e.port,
                    hex.empty() ? "-" : hex.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the format's lines end in "\n" on every system
#endif
    const char* path = nullptr;
    int32_t rate = 44100;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc) {
            rate = static_cast<int32_t>(std::strtol(argv[++i], nullptr, 10));
        } else if (!path) {
            path = argv[i];
        } else {
            std::fprintf(stderr, "usage: smfdump FILE [--rate R]\n");
            return 2;
        }
    }
    if (!path) {
        std::fprintf(stderr, "usage: smfdump FILE [--rate R]\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (!LoadFile(path, bytes)) {
        std::fprintf(stderr, "smfdump: cannot read %s\n", path);
        return 2;
    }
    tavren::MidiSong song;
    if (!tavren::ReadSong(bytes.data(), static_cast<uint32_t>(bytes.size()), rate, song)) {
        std::printf("error\n");
        return 1;
    }
    PrintSong(song);
    return 0;
}
