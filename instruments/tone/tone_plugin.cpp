// The VST 2 face of the synthesizer: the exported entry point, the dispatcher
// and the process callbacks. Each callback recovers the instance from the
// AEffect and delegates to the engine.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "synth.h"
#include "vsthost/vst2.h"

#if defined(_WIN32)
#define TONE_EXPORT __declspec(dllexport)
#else
#define TONE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Published opcodes that our host-side header has no use for.
constexpr int32_t effGetPlugCategory = 35;
constexpr int32_t effGetEffectName = 45;
constexpr int32_t effGetVendorVersion = 49;
constexpr int32_t effCanDo = 51;
constexpr int32_t effGetVstVersion = 58;
constexpr intptr_t kPlugCategorySynth = 2;

constexpr int32_t kUniqueId = 0x5476746E;  // 'Tvtn'
constexpr int kScratchFrames = 256;
constexpr size_t kMaxString = 64;  // characters, plus the terminator

struct ToneInstance {
    vst2::AEffect effect{};
    tone::Synth synth;
    // The float path renders here first, so both precisions share one engine.
    std::array<double, kScratchFrames> scratchLeft{};
    std::array<double, kScratchFrames> scratchRight{};
};

ToneInstance& InstanceOf(vst2::AEffect* effect) { return *static_cast<ToneInstance*>(effect->object); }

intptr_t CopyString(void* destination, const char* text) {
    if (destination == nullptr) return 0;
    const size_t length = std::min(std::strlen(text), kMaxString);
    std::memcpy(destination, text, length);
    static_cast<char*>(destination)[length] = '\0';
    return 1;
}

intptr_t OnProcessEvents(ToneInstance& instance, const vst2::VstEvents* events) {
    if (events == nullptr) return 0;
    for (int32_t i = 0; i < events->numEvents; ++i) {
        const vst2::VstEvent* event = vst2::EventPointers(events)[i];
        if (event == nullptr) continue;
        if (event->type == vst2::kVstMidiType) {
            const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(event);
            const auto* bytes = reinterpret_cast<const uint8_t*>(midi->midiData);
            instance.synth.QueueMidi(midi->deltaFrames, bytes[0], bytes[1], bytes[2]);
        } else if (event->type == vst2::kVstSysExType) {
            const auto* sysex = reinterpret_cast<const vst2::VstMidiSysexEvent*>(event);
            if (sysex->sysexDump != nullptr && sysex->dumpBytes > 0) {
                instance.synth.QueueSysex(sysex->deltaFrames, reinterpret_cast<const uint8_t*>(sysex->sysexDump),
                                          static_cast<size_t>(sysex->dumpBytes));
            }
        }
    }
    return 1;
}

intptr_t OnCanDo(const char* what) {
    if (what == nullptr) return 0;
    const bool yes = std::strcmp(what, "receiveVstEvents") == 0 || std::strcmp(what, "receiveVstMidiEvent") == 0;
    return yes ? 1 : -1;
}

intptr_t VST_CALL Dispatch(vst2::AEffect* effect, int32_t opcode, int32_t /*index*/, intptr_t value, void* ptr, float opt) {
    ToneInstance& instance = InstanceOf(effect);
    switch (opcode) {
    case vst2::effOpen: return 0;
    case vst2::effClose: delete &instance; return 1;
    case vst2::effSetSampleRate: instance.synth.SetSampleRate(opt); return 0;
    case vst2::effMainsChanged:
        // Switching on starts a song from the power-on state.
        if (value != 0) instance.synth.Reset();
        return 0;
    case vst2::effProcessEvents: return OnProcessEvents(instance, static_cast<const vst2::VstEvents*>(ptr));
    case vst2::effGetVendorString: return CopyString(ptr, "Tavren");
    case vst2::effGetProductString:
    case effGetEffectName: return CopyString(ptr, "tone");
    case effGetVendorVersion: return 1000;
    case effGetPlugCategory: return kPlugCategorySynth;
    case effCanDo: return OnCanDo(static_cast<const char*>(ptr));
    case effGetVstVersion: return 2400;
    case vst2::effSetProcessPrecision: return 1;  // both precisions are supported
    default: return 0;  // programs, block size, start/stop: nothing to do
    }
}

void RenderFloat(ToneInstance& instance, float** outputs, int32_t frames, bool accumulate) {
    for (int32_t done = 0; done < frames;) {
        const int n = std::min<int32_t>(kScratchFrames, frames - done);
        instance.synth.Render(instance.scratchLeft.data(), instance.scratchRight.data(), n);
        float* left = outputs[0] + done;
        float* right = outputs[1] + done;
        for (int i = 0; i < n; ++i) {
            const float l = static_cast<float>(instance.scratchLeft[i]);
            const float r = static_cast<float>(instance.scratchRight[i]);
            left[i] = accumulate ? left[i] + l : l;
            right[i] = accumulate ? right[i] + r : r;
        }
        done += n;
    }
    instance.synth.EndBlock();
}

void VST_CALL ProcessReplacing(vst2::AEffect* effect, float** /*inputs*/, float** outputs, int32_t frames) {
    RenderFloat(InstanceOf(effect), outputs, frames, false);
}

void VST_CALL ProcessAccumulating(vst2::AEffect* effect, float** /*inputs*/, float** outputs, int32_t frames) {
    RenderFloat(InstanceOf(effect), outputs, frames, true);
}

void VST_CALL ProcessDoubleReplacing(vst2::AEffect* effect, double** /*inputs*/, double** outputs, int32_t frames) {
    ToneInstance& instance = InstanceOf(effect);
    if (frames > 0) instance.synth.Render(outputs[0], outputs[1], frames);
    instance.synth.EndBlock();
}

void VST_CALL SetParameter(vst2::AEffect*, int32_t, float) {}
float VST_CALL GetParameter(vst2::AEffect*, int32_t) { return 0.0f; }

}  // namespace

extern "C" TONE_EXPORT vst2::AEffect* VST_CALL VSTPluginMain(vst2::HostCallback /*host*/) {
    // Every voice lives inside the instance: this is the only allocation.
    auto* instance = new (std::nothrow) ToneInstance;
    if (instance == nullptr) return nullptr;
    vst2::AEffect& effect = instance->effect;
    effect.magic = vst2::kEffectMagic;
    effect.dispatcher = Dispatch;
    effect.process = ProcessAccumulating;
    effect.setParameter = SetParameter;
    effect.getParameter = GetParameter;
    effect.numPrograms = 1;
    effect.numParams = 0;
    effect.numInputs = 0;
    effect.numOutputs = 2;
    effect.flags = vst2::effFlagsIsSynth | vst2::effFlagsCanReplacing | vst2::effFlagsCanDoubleReplacing;
    effect.ioRatio = 1.0f;
    effect.object = instance;
    effect.uniqueID = kUniqueId;
    effect.version = 1000;
    effect.processReplacing = ProcessReplacing;
    effect.processDoubleReplacing = ProcessDoubleReplacing;
    return &effect;
}
