// One opened effect of the instrument with its channel buffers and time
// information: a song plays through one instance per MIDI port.
#pragma once

#include <cstdint>

#include "vsthost/vst2.h"

namespace tavren {

struct IHmxConfig;
struct VstiHost;

struct VstiInstance {
    vst2::AEffect* effect = nullptr;  // its user field points back here
    VstiHost* host = nullptr;
    void** channels = nullptr;       // numOutputs output then numInputs input channel pointers
    void** inputChannels = nullptr;  // &channels[numOutputs], null without inputs
    vst2::VstTimeInfo timeInfo = {};
    int32_t blockSize = 0;
    int32_t sampleRate = 0;
    // What the buffers were made for, read from the effect once per song: an
    // instrument that reports other flags or counts later cannot make the
    // host read or write past them.
    int32_t outputCount = 0;
    int32_t inputCount = 0;
    bool processDouble = false;  // driven with processDoubleReplacing and double buffers
    // Editor window state (Windows build only; zero natively).
    uintptr_t editorTimer = 0;
    void* editorWindow = nullptr;
    int32_t windowX = 0;
    int32_t windowY = 0;
    int32_t portIndex = 0;
    VstiInstance* siblings[4] = {};
};

// Block size used for every library except the one named below.
constexpr int32_t kDefaultBlockSize = 1024;

// [any thread] Takes HostLock; starts CurrentHost on first use from the
// configured path; gives an idle cached instance or opens a new one.
// Null when no instrument can be had, and always once its library has
// faulted. When the library faulted while this call opened an effect,
// *faultCode (when given; else 0) is the exception's code.
VstiInstance* AcquireInstance(IHmxConfig* config, uint32_t* faultCode = nullptr);

// [any thread] Why the calling thread's last AcquireInstance gave none, when
// there is more to say than that the library did not load (a host process
// that could not start or failed while loading); empty otherwise.
const char16_t* LoadFailureReason();

// [any thread] The record of an effect just opened on host (null effect:
// null); the effect is closed again when no record can be had.
VstiInstance* MakeInstance(VstiHost* host, vst2::AEffect* effect);

// Most channels an instance may have on either side; more is taken for a
// corrupt count, not an instrument.
constexpr int32_t kMaxChannels = 256;

enum class Preparation {
    Ready,       // buffers made for the song's width and the counts read now
    OtherWidth,  // cannot process the song's sample width: fine for another song
    Unusable,    // fewer than two outputs, absurd counts, or no memory
};

// [any thread] Prepares an instance for a song at sampleRate whose sample
// width (doubles or floats) is already decided: reads the effect's flags and
// counts once, sets the block size for the rate and the library, keeps the
// buffers when block size, counts and width are unchanged, else makes them
// anew (zeroed). Anything but Ready leaves the instance without buffers
// when they had to change; it must then not be rendered.
Preparation PrepareForSong(VstiInstance* instance, int32_t sampleRate, bool songDouble);

// [any thread] PrepareForSong in the width the effect's flags prefer
// (doubles when it can process them). True when Ready.
bool PrepareBuffers(VstiInstance* instance, int32_t sampleRate);

// The block size the library at path gets at sampleRate.
int32_t BlockSizeFor(const char16_t* libraryPath, int32_t sampleRate);

// [any thread] The start-up sequence of an instance for a song (after
// PrepareForSong): its precision is the width it was prepared for.
void StartInstance(VstiInstance* instance);
// [any thread] The stop sequence at the end of a song.
void StopInstance(VstiInstance* instance);

// [any thread] effClose on the host thread, buffers and record freed.
void DestroyInstance(VstiInstance* instance);

// [host thread] What a VHM_OPEN_EFFECT request runs: calls host's entry point
// with the host callback and keeps the effect only if it is an instrument
// with two outputs and a replacing process function (then effOpen), else
// sends it effClose. Null when refused, and when the library faults (each
// call into it guarded; the fault is kept in host for AcquireInstance).
vst2::AEffect* OpenEffect(VstiHost* host);

// True when an effect offered by the entry point is accepted (see OpenEffect).
bool IsAcceptableEffect(const vst2::AEffect* effect);

inline bool CanDoubleReplacing(const VstiInstance* instance) {
    return (instance->effect->flags & vst2::effFlagsCanDoubleReplacing) != 0;
}

}  // namespace tavren
