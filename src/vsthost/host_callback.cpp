#include "vsthost/host_callback.h"

#include <cstring>

#include "platform/platform.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren {

namespace {

constexpr intptr_t kHostVstVersion = 2400;
// How the host presents itself: instruments tune their behaviour to known hosts.
constexpr char kHostVendor[] = "YAMAHA";
constexpr char kHostProduct[] = "Cubase VST";

// Null while the instrument asks from inside its entry point: the user field
// is set only once the effect has been accepted.
VstiInstance* InstanceOf(vst2::AEffect* effect) {
    return effect ? static_cast<VstiInstance*>(effect->user) : nullptr;
}

intptr_t OnGetTime(VstiInstance* instance) {
    if (!instance) return 0;
    // The time information is written on the host thread and the decoder's,
    // which the instrument's caller is then inside. An instrument asking from
    // a thread of its own would read it while they write it: it gets none.
    if (!OnHostThread(instance->host)) return 0;
    // GetTickCount's milliseconds, unsigned, as nanoseconds.
    instance->timeInfo.nanoSeconds = static_cast<double>(platform::TickCount()) * 1000.0 * 1000.0;
    return reinterpret_cast<intptr_t>(&instance->timeInfo);
}

intptr_t CopyHostString(void* ptr, const char* text, size_t bytes) {
    if (ptr) std::memcpy(ptr, text, bytes);
    return 0;
}

}  // namespace

intptr_t VST_CALL AudioMasterCallback(vst2::AEffect* effect, int32_t opcode, int32_t, intptr_t, void* ptr, float) {
    switch (opcode) {
        case vst2::audioMasterVersion: return kHostVstVersion;
        case vst2::audioMasterGetTime: return OnGetTime(InstanceOf(effect));
        case vst2::audioMasterGetSampleRate: {
            VstiInstance* instance = InstanceOf(effect);
            return instance ? instance->sampleRate : 0;
        }
        case vst2::audioMasterGetBlockSize: {
            VstiInstance* instance = InstanceOf(effect);
            return instance ? instance->blockSize : 0;
        }
        case vst2::audioMasterGetVendorString: return CopyHostString(ptr, kHostVendor, sizeof kHostVendor);
        case vst2::audioMasterGetProductString: return CopyHostString(ptr, kHostProduct, sizeof kHostProduct);
        case vst2::audioMasterGetLanguage: return vst2::kVstLangJapanese;
        default: return 0;
    }
}

}  // namespace tavren
