#include "plugin_session.h"

#include <algorithm>
#include <cstdlib>

namespace realsynth {

using namespace tavren;

double Audio::Peak(double fromSeconds, double toSeconds) const {
    const double first = std::max(0.0, fromSeconds * rate) * 2;
    const double last = std::min(static_cast<double>(samples.size()), std::max(0.0, toSeconds * rate) * 2);
    double peak = 0.0;
    for (size_t i = static_cast<size_t>(first); i < static_cast<size_t>(last); ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

bool Audio::AllFinite() const {
    return std::all_of(samples.begin(), samples.end(), [](double s) { return std::isfinite(s); });
}

uint64_t Audio::TrailingSilentFrames() const {
    size_t i = samples.size();
    while (i > 0 && samples[i - 1] <= 0.001 && samples[i - 1] >= -0.001) --i;
    return (samples.size() - i) / 2;
}

bool Bridged() {
    const char* bridge = std::getenv("TAVREN_TEST_BRIDGE");
    return bridge && *bridge && std::string(bridge) != "0";
}

PluginSession::PluginSession(const std::string& pluginPath) : plugin(std::make_unique<DynamicLibrary>(pluginPath)) {
    // The suites run once more with the instrument in a host process.
    if (const char* bridge = std::getenv("TAVREN_TEST_BRIDGE")) store.Put(u"VSTiBridge_x86", FromUtf8(bridge));
    auto create = reinterpret_cast<HmxCreateInstanceProc>(plugin->Symbol("hmx_CreateInstance"));
    if (!create) return;
    void* out = nullptr;
    if (create(&kIidHmxDecoderModule, &out, &host) == kHmxOk) module = static_cast<IHmxDecoderModule*>(out);
}

PluginSession::~PluginSession() {
    // The last module stops the instrument host and unloads the instrument.
    if (module) module->Release();
    module = nullptr;
}

IHmxDecoder* PluginSession::Open(const std::vector<uint8_t>& song, uint32_t rate) {
    test::MemoryFile file(song);
    HmxMediaInfo request{};
    request.size = sizeof request;
    request.sampleRate = rate;
    IHmxDecoder* decoder = nullptr;
    if (!module->Open(rate ? &request : nullptr, &file, nullptr, &decoder)) return nullptr;
    return decoder;
}

const HmxMediaInfo& PluginSession::Info(IHmxDecoder* decoder) {
    HmxMediaInfo* info = nullptr;
    decoder->Select(1, &info, 0, 0);
    static const HmxMediaInfo none{};
    return info ? *info : none;
}

uint64_t PluginSession::LengthFrames(IHmxDecoder* decoder) {
    const HmxMediaInfo& info = Info(decoder);
    return (info.length * info.sampleRate + 9999999) / 10000000;
}

Audio PluginSession::RenderFrames(IHmxDecoder* decoder, uint64_t maxFrames) {
    const HmxMediaInfo& info = Info(decoder);
    Audio audio;
    audio.rate = static_cast<int32_t>(info.sampleRate);
    const size_t count = 2 * static_cast<size_t>(info.blockFrames);
    std::vector<float> floats(count);
    std::vector<double> doubles(count);
    while (audio.Frames() < maxFrames) {
        uint32_t frames;
        if (info.format == -64) {
            frames = decoder->Render(doubles.data(), static_cast<uint32_t>(count * sizeof(double)));
            audio.samples.insert(audio.samples.end(), doubles.begin(), doubles.begin() + 2 * frames);
        } else {
            frames = decoder->Render(floats.data(), static_cast<uint32_t>(count * sizeof(float)));
            audio.samples.insert(audio.samples.end(), floats.begin(), floats.begin() + 2 * frames);
        }
        if (frames == 0) {
            audio.ended = true;
            break;
        }
    }
    return audio;
}

Audio PluginSession::RenderSeconds(IHmxDecoder* decoder, double seconds) {
    return RenderFrames(decoder, static_cast<uint64_t>(seconds * Info(decoder).sampleRate));
}

int32_t PluginSession::Apply(const std::u16string& key, const std::u16string& value) {
    return module->ApplyConfig(u"General", key.c_str(), 0, 0, 0, 0, value.c_str());
}

}  // namespace realsynth
