// hmxplay render: opens a song through the module as the host player does,
// renders it block by block and writes a WAV file of IEEE float samples.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "commands.h"
#include "frame/unknown_impl.h"
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
    double maxSeconds = 0;  // 0: no limit
};

bool ParseRenderOptions(const std::vector<std::string>& args, RenderOptions* o) {
    if (args.empty()) return false;
    o->song = args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (!hasValue) return false;
        const char* v = args[++i].c_str();
        char* end = nullptr;
        if (a == "-o") {
            o->output = v;
            continue;
        }
        if (a == "--rate") {
            o->rate = static_cast<uint32_t>(std::strtoul(v, &end, 10));
            o->hasRate = true;
        } else if (a == "--seek") {
            o->seek = std::strtoull(v, &end, 10);
            o->hasSeek = true;
        } else if (a == "--max-seconds") {
            o->maxSeconds = std::strtod(v, &end);
        } else {
            return false;
        }
        if (!end || *end || end == v) return false;
    }
    return true;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

bool RenderArgumentsValid(const std::vector<std::string>& args) {
    RenderOptions o;
    return ParseRenderOptions(args, &o);
}

int RunRender(const std::vector<std::string>& args, IHmxDecoderModule* module) {
    RenderOptions o;
    ParseRenderOptions(args, &o);
    std::vector<uint8_t> bytes;
    if (!ReadFile(o.song, &bytes)) {
        std::fprintf(stderr, "hmxplay: cannot read %s\n", o.song.c_str());
        return 2;
    }
    FileObject file(std::move(bytes));
    HmxMediaInfo request{};
    request.size = sizeof request;
    request.sampleRate = o.rate;
    IHmxDecoder* decoder = nullptr;
    if (!module->Open(o.hasRate ? &request : nullptr, &file, nullptr, &decoder) || !decoder) {
        std::printf("open failed\n");
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
    if (o.hasSeek) {
        uint64_t reached = decoder->Seek(o.seek, 0);
        std::printf("seek: %llu\n", static_cast<unsigned long long>(reached));
    }

    int bits = info->format == -64 ? 64 : 32;
    WavWriter wav;
    if (!o.output.empty() && !wav.Open(NativePath(o.output), info->sampleRate, 2, bits)) {
        std::fprintf(stderr, "hmxplay: cannot write %s\n", o.output.c_str());
        decoder->Release();
        return 2;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(info->blockFrames) * 2 * (bits / 8) + 16);
    bool progress = StdoutIsTerminal();
    uint64_t frames = 0;
    uint64_t limitFrames = o.maxSeconds > 0 ? static_cast<uint64_t>(o.maxSeconds * info->sampleRate) : 0;
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        uint32_t n = decoder->Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (n == 0) break;
        if (n > info->blockFrames) n = info->blockFrames;  // never trust more than the block holds
        if (!o.output.empty()) wav.Write(buffer.data(), static_cast<size_t>(n) * 2 * (bits / 8));
        frames += n;
        if (progress && (frames / n) % 50 == 0)
            std::fprintf(stdout, "\r%.1f s", static_cast<double>(frames) / info->sampleRate), std::fflush(stdout);
        if (limitFrames && frames >= limitFrames) break;
    }
    if (progress) std::printf("\r");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = info->sampleRate;
    decoder->Release();  // info dies with the decoder
    if (!o.output.empty() && !wav.Close()) {
        std::fprintf(stderr, "hmxplay: cannot finish %s\n", o.output.c_str());
        return 2;
    }
    std::fprintf(stderr, "rendered %.2f s of audio in %.2f s\n", static_cast<double>(frames) / rate, seconds);
    std::printf("frames: %llu\n", static_cast<unsigned long long>(frames));
    return 0;
}

}  // namespace hmxplay
