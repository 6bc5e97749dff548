// smfdump FILE [--rate R]: prints the timeline the reader makes of a MIDI
// file, one event per line, so that a file can be debugged or the reader
// compared with others. Exit status: 0 read, 1 rejected ("error" on standard
// output, the reason on standard error), 2 bad arguments, unreadable, or
// output that cannot be written (a full disk, a closed pipe).
#include <cerrno>
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

const char kUsage[] =
    "usage: smfdump FILE [--rate R]\n"
    "Prints what the plug-in's reader makes of a Standard MIDI File:\n"
    "  events N / length SAMPLES / ports N / reset KIND (0 GM, 1 GM2, 2 XG, 3 GS)\n"
    "then one line per event in playing order:\n"
    "  TIME MESSAGE PORT SYSEX\n"
    "TIME in samples at rate R (default 44100, from 1000 to 768000), MESSAGE the\n"
    "event word in hex (status | data1 << 8 | data2 << 16; c0000000 SysEx,\n"
    "c0000001 SysEx to all ports, 80000000 end of track), SYSEX its bytes in hex\n"
    "or \"-\". A rejected file prints \"error\" and, on standard error, why.\n"
    "A RIFF MIDI file (RIFF ... RMID) is read as the Standard MIDI File inside it.\n"
    "Exit status: 0 read, 1 rejected, 2 bad arguments, a file that cannot be read\n"
    "or output that cannot be written.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "smfdump: %s\n%s", problem, kUsage);
    return 2;
}

// The whole file in one read where its size is known.
bool LoadFile(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size > 0 && static_cast<unsigned long>(size) <= UINT32_MAX) bytes.reserve(static_cast<size_t>(size));
        std::rewind(f);
    }
    uint8_t chunk[1 << 16];
    size_t n = 0;
    while (bytes.size() <= UINT32_MAX) {
        if (bytes.capacity() > bytes.size()) {
            // Straight into the reserved space.
            size_t before = bytes.size();
            bytes.resize(bytes.capacity());
            n = std::fread(bytes.data() + before, 1, bytes.size() - before, f);
            bytes.resize(before + n);
        } else {
            n = std::fread(chunk, 1, sizeof chunk, f);
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        if (n == 0) break;
    }
    const int readError = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (readError) error = std::strerror(readError);
    else if (bytes.size() > UINT32_MAX) error = "larger than 4 GiB";
    return error.empty();
}

// Text of the dump, built by hand: printf per field was a quarter of the time.
class Printer {
public:
    // False once a write failed: the rest is not worth formatting.
    bool Ok() const { return ok; }
    void Text(const char* s) { out.append(s); }
    void Signed(int64_t v) {
        uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        if (v < 0) out.push_back('-');
        char digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u);
        while (n) out.push_back(digits[--n]);
    }
    void Hex8(uint32_t v) {
        for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kDigits[(v >> shift) & 15]);
    }
    void Bytes(const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes) {
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 15]);
        }
    }
    void Char(char c) {
        out.push_back(c);
        if (out.size() >= (1 << 20)) Flush();
    }
    bool Flush() {
        if (ok && std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) ok = false;
        out.clear();
        return ok;
    }

private:
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    bool ok = true;
};

bool PrintSong(const tavren::MidiSong& song) {
    Printer p;
    p.Text("events "), p.Signed(song.eventCount), p.Char('\n');
    p.Text("length "), p.Signed(song.lengthSamples), p.Char('\n');
    p.Text("ports "), p.Signed(song.portCount), p.Char('\n');
    p.Text("reset "), p.Signed(static_cast<uint32_t>(song.detectedReset)), p.Char('\n');
    for (int32_t i = 0; i < song.eventCount && p.Ok(); ++i) {
        const tavren::SongEvent& e = tavren::EventAt(song, i);
        p.Signed(e.time), p.Char(' '), p.Hex8(e.message), p.Char(' '), p.Signed(e.port), p.Char(' ');
        if (e.sysex.empty())
            p.Char('-');
        else
            p.Bytes(e.sysex);
        p.Char('\n');
    }
    return p.Flush();
}

// Every byte of the dump reached its reader, or the run fails.
int Finish(int status) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "smfdump: cannot write to standard output: %s\n",
                 error ? std::strerror(error) : "a write failed");
    return 2;
}

// Plain decimal digits in [1000, 768000]; "-5", "0" and "44100x" are refused.
bool ParseRate(const char* text, int32_t* rate) {
    size_t n = std::strlen(text);
    if (n == 0 || n > 6 || std::strspn(text, "0123456789") != n) return false;
    long v = std::strtol(text, nullptr, 10);
    if (v < 1000 || v > 768000) return false;
    *rate = static_cast<int32_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the format's lines end in "\n" on every system
#endif
    const char* path = nullptr;
    int32_t rate = 44100;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--rate") == 0) {
            if (i + 1 >= argc) return Usage("--rate needs a value");
            if (!ParseRate(argv[++i], &rate)) {
                std::fprintf(stderr, "smfdump: --rate '%s' is not a whole number of hertz from 1000 to 768000\n",
                             argv[i]);
                return 2;
            }
        } else if (!path && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return Usage(argv[i][0] == '-' ? "unknown option" : "one file at a time");
        }
    }
    if (!path) return Usage("no file given");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!LoadFile(path, bytes, error)) {
        std::fprintf(stderr, "smfdump: cannot read %s: %s\n", path, error.c_str());
        return 2;
    }
    tavren::MidiSong song;
    const char* reason = nullptr;
    if (!tavren::ReadSong(bytes.data(), static_cast<uint32_t>(bytes.size()), rate, song, &reason)) {
        std::printf("error\n");
        std::fprintf(stderr, "smfdump: %s rejected: %s\n", path, reason ? reason : "unknown reason");
        return Finish(1);
    }
    PrintSong(song);
    return Finish(0);
}
