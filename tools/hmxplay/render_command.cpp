// hmxplay render: opens a song through the module as the host player does,
// renders it block by block and writes a WAV file of IEEE float samples.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "config/arch.h"
#include "file_io.h"
#include "frame/unknown_impl.h"
#include "interrupts.h"
#include "midi/smf_reader.h"
#include "plugin_library.h"
#include "wav_writer.h"

namespace hmxplay {

using namespace tavren;

namespace {

// The host player's file object: the whole file image in memory.
class FileObject final : public IHmxFile {
public:
    explicit FileObject(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}
    HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) override {
        if (!out) return kHmxInvalidArg;
        *out = iid == kIidUnknown ? this : nullptr;
        if (*out) ++refs;
        return *out ? kHmxOk : kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return ++refs; }
    int32_t HMX_CALL Release() override { return --refs; }  // lives on the stack
    int32_t HMX_CALL Reserved1() override { return 0; }
    int32_t HMX_CALL Reserved2() override { return 0; }
    int32_t HMX_CALL Reserved3() override { return 0; }
    int32_t HMX_CALL Reserved4() override { return 0; }
    int32_t HMX_CALL Reserved5() override { return 0; }
    int32_t HMX_CALL Reserved6() override { return 0; }
    int32_t HMX_CALL Reserved7() override { return 0; }
    int32_t HMX_CALL GetBuffer(const uint8_t** data, uint32_t* size) override {
        *data = bytes.data();
        *size = static_cast<uint32_t>(bytes.size());
        return 1;
    }

private:
    std::vector<uint8_t> bytes;
    int32_t refs = 1;
};

struct RenderOptions {
    std::string song;
    std::string output;
    bool hasRate = false;
    uint32_t rate = 0;
    bool hasSeek = false;
    uint64_t seek = 0;
    bool hasMaxSeconds = false;
    double maxSeconds = 0;  // 0: no bound at all; any other bound renders a frame at least
    uint32_t loops = 2;
    double fadeSeconds = 8;
};

// A song without a loop marker normally ends within five seconds of its
// length (the plug-in's tail); one that does not is cut this long after it.
constexpr double kOverrunSeconds = 10;

// Plain decimal digits only: "-5", "+5", " 5" and "1e3" are refused, as is
// anything above max, before any conversion can wrap.
bool ParseCount(const std::string& text, uint64_t min, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    if (v < min || v > max) return false;
    *value = v;
    return true;
}

bool ParseSeconds(const std::string& text, double max, double* value) {
    if (text.empty() || text[0] == ' ') return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end || end == text.c_str() || !std::isfinite(v) || v < 0 || v > max) return false;
    *value = v;
    return true;
}

bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions* o, std::string* problem) {
    if (args.empty()) {
        *problem = "render needs a song: render SONG.mid [options]";
        return false;
    }
    o->song = args[0];
    if (!o->song.empty() && o->song[0] == '-') {
        *problem = "render needs the song first, not the option '" + o->song + "'";
        return false;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool known = a == "-o" || a == "--rate" || a == "--seek" || a == "--max-seconds" || a == "--loops" ||
                           a == "--fade";
        if (!known) {
            *problem = "render: unknown option '" + a + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            *problem = "render: " + a + " needs a value";
            return false;
        }
        const std::string& v = args[++i];
        uint64_t n = 0;
        bool ok = true;
        const char* range = "";
        if (a == "-o") {
            o->output = v;
        } else if (a == "--rate") {
            ok = ParseCount(v, 1000, 768000, &n), o->rate = static_cast<uint32_t>(n), o->hasRate = true;
            range = "a whole number of hertz from 1000 to 768000";
        } else if (a == "--seek") {
            ok = ParseCount(v, 0, UINT64_MAX, &o->seek), o->hasSeek = true;
            range = "a whole number of sample frames at the output rate";
        } else if (a == "--max-seconds") {
            ok = ParseSeconds(v, 1e7, &o->maxSeconds), o->hasMaxSeconds = true;
            range = "seconds from 0 (no bound) to 10000000";
        } else if (a == "--loops") {
            ok = ParseCount(v, 1, 1000, &n), o->loops = static_cast<uint32_t>(n);
            range = "a whole number from 1 to 1000";
        } else {
            ok = ParseSeconds(v, 3600, &o->fadeSeconds);
            range = "seconds from 0 to 3600";
        }
        if (!ok) {
            *problem = "render: " + a + " '" + v + "' is not " + range;
            return false;
        }
    }
    return true;
}

// Scales frames [0, count) of an interleaved stereo block by a gain that
// falls linearly from fadeStart to fadeEnd (positions in frames).
template <typename Sample>
void FadeBlock(Sample* samples, uint32_t count, uint64_t position, uint64_t fadeStart, uint64_t fadeEnd) {
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t at = position + i;
        if (at < fadeStart) continue;
        double gain = at >= fadeEnd ? 0.0 : double(fadeEnd - at) / double(fadeEnd - fadeStart);
        samples[2 * i] = static_cast<Sample>(samples[2 * i] * gain);
        samples[2 * i + 1] = static_cast<Sample>(samples[2 * i + 1] * gain);
    }
}

}  // namespace

const char kRenderHelp[] =
    "usage: hmxplay [OPTIONS] render SONG.mid [-o OUT.wav] [--rate HZ] [--seek FRAME]\n"
    "                                [--max-seconds S] [--loops N] [--fade S]\n"
    "Opens SONG.mid through the plug-in as the host player does, renders it block\n"
    "by block and writes the audio as a WAV file of float samples (32- or 64-bit,\n"
    "as the plug-in delivers them). It prints the media information first:\n"
    "  rate: the sample rate in Hz          format: -32 or -64, the float size\n"
    "  channels: 2                          block: frames per block\n"
    "  length: the song's length in 100 ns units (10000000 to the second)\n"
    "  loop: 1 when the song has a loop marker (controller 111), else 0\n"
    "then, after a seek, \"seek: FRAME\" reached, and at the end \"frames: N\" rendered.\n"
    "On a terminal it shows the position against the song's length meanwhile.\n"
    "\n"
    "  -o OUT.wav       write the audio there; without it the song is only rendered\n"
    "  --rate HZ        ask the plug-in for this sample rate (1000 to 768000); it\n"
    "                   plays any from 8000 to 768000 Hz unless the SampleRate_" TAVREN_ARCH_NAME "\n"
    "                   setting is negative; \"rate:\" says what it chose\n"
    "  --seek FRAME     seek first, in sample frames at the output rate (at 44100 Hz,\n"
    "                   44100 is one second); the seek stops at a block start\n"
    "  --max-seconds S  stop after S seconds of audio; 0 lifts every bound\n"
    "  --loops N        a song with a loop marker plays for N times its length\n"
    "                   (default 2), then fades out\n"
    "  --fade S         that fade, in seconds (default 8; 0 ends the song at once)\n"
    "\n"
    "Without --max-seconds a song ends on its own, or 10 s past its length at the\n"
    "latest (a broken file can hold notes long after its end); a looping song ends\n"
    "as --loops and --fade say.\n"
    "\n"
    "The WAV file's header counts the audio written so far at least once a second,\n"
    "so a render cut short leaves a file that plays up to there; Ctrl+C ends the\n"
    "render cleanly (exit status 130). Past 4 GiB of audio the file is RF64.\n";

bool CheckRenderArguments(const std::vector<std::string>& args, std::string* problem) {
    RenderOptions o;
    return ParseRenderOptions(args, &o, problem);
}

namespace {

// Why the plug-in refused the song, as far as hmxplay can tell: the reader
// names what is wrong with a file; a file it reads fails only where the
// instrument failed, and the plug-in has then said so in its message box.
void ExplainFailedOpen(const RenderOptions& o, IHmxFile* file) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    file->GetBuffer(&data, &size);
    MidiSong song;
    const char* why = nullptr;
    if (!ReadSong(data, size, o.hasRate ? static_cast<int32_t>(o.rate) : 44100, song, &why))
        std::fprintf(stderr, "hmxplay: cannot open %s as a MIDI file: %s\n", o.song.c_str(),
                     why ? why : "unknown reason");
    else
        std::fprintf(stderr, "hmxplay: cannot open %s: the instrument could not be loaded (the messagebox line "
                     "above says which)\n", o.song.c_str());
}

}  // namespace

int RunRender(const std::vector<std::string>& args, IHmxDecoderModule* module) {
    RenderOptions o;
    std::string problem;
    ParseRenderOptions(args, &o, &problem);
    CatchInterrupts();
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(NativePath(o.song), &bytes, &problem)) {
        case ReadResult::Read: break;
        case ReadResult::Missing:
            std::fprintf(stderr, "hmxplay: cannot read %s: no such file\n", o.song.c_str());
            return 2;
        case ReadResult::Failed:
            std::fprintf(stderr, "hmxplay: cannot read %s: %s\n", o.song.c_str(), problem.c_str());
            return 2;
    }
    FileObject file(std::move(bytes));
    HmxMediaInfo request{};
    request.size = sizeof request;
    request.sampleRate = o.rate;
    IHmxDecoder* decoder = nullptr;
    if (!module->Open(o.hasRate ? &request : nullptr, &file, nullptr, &decoder) || !decoder) {
        std::printf("open failed\n");
        std::fflush(stdout);
        ExplainFailedOpen(o, &file);
        return 1;
    }
    HmxMediaInfo* info = nullptr;
    if (decoder->Select(1, &info, 0, 0) != 1 || !info) {
        std::printf("select failed\n");
        decoder->Release();
        return 1;
    }
    std::printf("rate: %u\nformat: %d\nchannels: %u\nlength: %llu\nblock: %u\nloop: %d\n", info->sampleRate,
                info->format, info->channels, static_cast<unsigned long long>(info->length), info->blockFrames,
                info->loop ? 1 : 0);
    std::fflush(stdout);
    if (o.hasRate && info->sampleRate != o.rate)
        std::fprintf(stderr, "hmxplay: the plug-in plays at %u Hz, not at the %u Hz asked for\n", info->sampleRate,
                     o.rate);
    // Copied: info dies with the decoder.
    const uint32_t rate = info->sampleRate;
    const uint32_t blockFrames = info->blockFrames;
    const bool looping = info->loop != 0;
    const double lengthSeconds = static_cast<double>(info->length) / 1e7;
    const int bits = info->format == -64 ? 64 : 32;
    uint64_t position = 0;
    if (o.hasSeek) {
        position = decoder->Seek(o.seek, 0);
        std::printf("seek: %llu\n", static_cast<unsigned long long>(position));
    }

    // Where the render stops and where its fade-out starts. Only an explicit
    // --max-seconds 0 leaves it unbounded; any other bound, however small,
    // is at least one frame. All figures are bounded (length < 2^64 * 1e-7 s,
    // rate <= 2^32, loops <= 1000), so the products stay far below 2^64.
    const bool bounded = !o.hasMaxSeconds || o.maxSeconds > 0;
    uint64_t limit = 0, fadeFrames = 0;
    if (o.hasMaxSeconds) {
        limit = static_cast<uint64_t>(o.maxSeconds * rate);
    } else if (looping) {
        fadeFrames = static_cast<uint64_t>(o.fadeSeconds * rate);
        limit = static_cast<uint64_t>(o.loops * lengthSeconds * rate) + fadeFrames;
    } else {
        limit = static_cast<uint64_t>((lengthSeconds + kOverrunSeconds) * rate);
    }
    if (bounded && limit == 0) limit = 1;
    const double shownSeconds = looping && !o.hasMaxSeconds ? limit / double(rate) : lengthSeconds;

    WavWriter wav;
    if (!o.output.empty() && !wav.Open(NativePath(o.output), rate, 2, bits)) {
        std::fprintf(stderr, "hmxplay: cannot write %s: %s\n", o.output.c_str(), wav.Error().c_str());
        decoder->Release();
        return 2;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(blockFrames) * 2 * (bits / 8) + 16);
    const bool progress = StdoutIsTerminal();
    uint64_t frames = 0;
    uint64_t blocks = 0;
    bool cut = false;
    auto start = std::chrono::steady_clock::now();
    while (!Interrupted()) {
        uint32_t n = decoder->Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (n == 0) break;
        if (n > blockFrames) n = blockFrames;  // never trust more than the block holds
        if (bounded && frames + n >= limit) {
            n = static_cast<uint32_t>(limit - frames);
            cut = true;
        }
        if (fadeFrames) {
            if (bits == 64)
                FadeBlock(reinterpret_cast<double*>(buffer.data()), n, frames, limit - fadeFrames, limit);
            else
                FadeBlock(reinterpret_cast<float*>(buffer.data()), n, frames, limit - fadeFrames, limit);
        }
        if (!o.output.empty() && !wav.Write(buffer.data(), static_cast<size_t>(n) * 2 * (bits / 8))) {
            std::fprintf(stderr, "\nhmxplay: cannot write %s: %s\n", o.output.c_str(), wav.Error().c_str());
            decoder->Release();
            return 2;
        }
        frames += n;
        if (progress && ++blocks % 50 == 0) {
            double at = static_cast<double>(position + frames) / rate;
            int percent = shownSeconds > 0 ? static_cast<int>(std::min(100.0, 100.0 * at / shownSeconds)) : 100;
            std::printf("\r%8.1f / %.1f s %3d%%", at, shownSeconds, percent);
            std::fflush(stdout);
        }
        if (cut) break;
    }
    if (progress) std::printf("\r%40s\r", ""), std::fflush(stdout);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    decoder->Release();
    if (!o.output.empty() && !wav.Close()) {
        std::fprintf(stderr, "hmxplay: cannot finish %s: %s\n", o.output.c_str(), wav.Error().c_str());
        return 2;
    }
    if (Interrupted() && !o.output.empty())
        std::fprintf(stderr, "hmxplay: interrupted; %s holds what was rendered, whole\n", o.output.c_str());
    else if (Interrupted())
        std::fprintf(stderr, "hmxplay: interrupted\n");
    else if (cut && !o.hasMaxSeconds && looping)
        std::fprintf(stderr, "hmxplay: looping song: played for %u times its length, then faded out over %g s "
                     "(--loops, --fade; --max-seconds 0 plays on)\n", o.loops, o.fadeSeconds);
    else if (cut && !o.hasMaxSeconds)
        std::fprintf(stderr, "hmxplay: stopped %g s past the song's length, which it should have ended by "
                     "(--max-seconds 0 plays on)\n", kOverrunSeconds);
    std::fprintf(stderr, "rendered %.2f s of audio in %.2f s\n", static_cast<double>(frames) / rate, seconds);
    std::printf("frames: %llu\n", static_cast<unsigned long long>(frames));
    return Interrupted() ? 130 : 0;
}

}  // namespace hmxplay
