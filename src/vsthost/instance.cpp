#include "vsthost/instance.h"

#include <cstdlib>
#include <new>

#include "config/compare_no_case.h"
#include "config/settings.h"
#include "frame/instance_cache.h"
#include "frame/module_state.h"
#include "vsthost/host_callback.h"
#include "vsthost/host_start.h"
#include "vsthost/host_thread.h"
#include "vsthost/instrument_call.h"
#include "vsthost/remote_host.h"

namespace tavren {

namespace {

constexpr char16_t kBlockSizeQuirkLibrary[] = u"MAmiVSTi.dll";

void InitTimeInfo(vst2::VstTimeInfo& timeInfo) {
    timeInfo = {};
    timeInfo.tempo = 120.0;
    timeInfo.timeSigNumerator = 4;
    timeInfo.timeSigDenominator = 4;
    timeInfo.flags = vst2::kVstPpqPosValid | vst2::kVstTempoValid | vst2::kVstTimeSigValid;
}

// The first channel pointer is the start of the one sample block.
void FreeBuffers(VstiInstance* instance) {
    if (!instance->channels) return;
    std::free(instance->channels[0]);
    std::free(instance->channels);
    instance->channels = nullptr;
    instance->inputChannels = nullptr;
}

// Buffers for the counts and width recorded in the instance.
bool AllocateBuffers(VstiInstance* instance) {
    const size_t channelCount = static_cast<size_t>(instance->outputCount) + static_cast<size_t>(instance->inputCount);
    const size_t sampleBytes = instance->processDouble ? sizeof(double) : sizeof(float);
    const size_t blockSize = static_cast<size_t>(instance->blockSize);
    if (channelCount == 0 || blockSize > SIZE_MAX / sampleBytes / channelCount) return false;
    auto* channels = static_cast<void**>(std::calloc(channelCount, sizeof(void*)));
    auto* samples = static_cast<unsigned char*>(std::calloc(channelCount * blockSize, sampleBytes));
    if (!channels || !samples) {
        std::free(channels);
        std::free(samples);
        return false;
    }
    for (size_t c = 0; c < channelCount; ++c) channels[c] = samples + c * blockSize * sampleBytes;
    instance->channels = channels;
    instance->inputChannels = instance->inputCount > 0 ? channels + instance->outputCount : nullptr;
    return true;
}

// Why the last AcquireInstance on this thread had no instance, when there
// is more to say than that the library did not load.
thread_local char16_t loadFailure[256];

// [holds HostLock] CurrentHost, started from the configured path on first
// use, or anew once its host process has failed.
VstiHost* CurrentHostOrStart(IHmxConfig* config) {
    if (CurrentHost && CurrentHost->remote && RemoteHostFailed(CurrentHost->remote)) {
        RetireHost(CurrentHost);
        CurrentHost = nullptr;
    }
    if (CurrentHost) return CurrentHost;
    char16_t path[260] = {};
    ReadVstiPath(config, path);
    if (!path[0]) return nullptr;
    // A failed start leaves CurrentHost null, so the next call tries again.
    CurrentHost = StartHostFor(path, ReadBridgeMode(config), loadFailure, 256);
    return CurrentHost;
}

}  // namespace

bool IsAcceptableEffect(const vst2::AEffect* effect) {
    const int32_t replacing = vst2::effFlagsCanReplacing | vst2::effFlagsCanDoubleReplacing;
    return effect->numOutputs >= 2 && (effect->flags & replacing) != 0 && (effect->flags & vst2::effFlagsIsSynth) != 0;
}

vst2::AEffect* OpenEffect(VstiHost* host) {
    const vst2::EntryProc entryPoint = host->entryPoint;
    if (!entryPoint) return nullptr;
    vst2::AEffect* effect = nullptr;
    bool acceptable = false;
    // The structure is read inside the guard too: a wild pointer is the instrument's fault.
    const bool entered = CallInstrument(
        host,
        [&] {
            effect = entryPoint(AudioMasterCallback);
            acceptable = effect && IsAcceptableEffect(effect);
        },
        true);
    if (!entered || !effect) return nullptr;
    // Many instruments free the structure on effClose: a refused one is not touched again.
    const int32_t opcode = acceptable ? vst2::effOpen : vst2::effClose;
    const bool answered =
        CallInstrument(host, [&] { effect->dispatcher(effect, opcode, 0, 0, nullptr, 0.0f); }, true);
    return answered && acceptable ? effect : nullptr;
}

VstiInstance* AcquireInstance(IHmxConfig* config, uint32_t* faultCode) {
    if (faultCode) *faultCode = 0;
    platform::LockGuard lock(HostLock);
    loadFailure[0] = 0;
    VstiHost* host = CurrentHostOrStart(config);
    // A library that faulted is not called again while this module lives.
    if (!host || (!host->library && !host->remote) || host->faulted.load()) return nullptr;
    if (VstiInstance* cached = TakeFromCache(host)) return cached;

    vst2::AEffect* effect = OpenEffectOnHost(host);
    if (!effect) {
        // Read after the synchronous open: set, if at all, on the host thread by this very open.
        if (faultCode && host->faulted.load() && host->faultedOpening) *faultCode = host->faultCode;
        // A host process that failed while the effect opened: the open's box says why.
        if (host->remote && RemoteHostFailed(host->remote)) RemoteFailureReason(host->remote, loadFailure, 256);
        return nullptr;
    }
    return MakeInstance(host, effect);
}

const char16_t* LoadFailureReason() { return loadFailure; }

VstiInstance* MakeInstance(VstiHost* host, vst2::AEffect* effect) {
    if (!effect) return nullptr;
    auto* instance = new (std::nothrow) VstiInstance();
    if (!instance) {
        CloseEffectOnHost(host, effect);
        return nullptr;
    }
    instance->effect = effect;
    instance->host = host;
    InitTimeInfo(instance->timeInfo);
    effect->user = instance;
    return instance;
}

int32_t BlockSizeFor(const char16_t* libraryPath, int32_t sampleRate) {
    const char16_t* lastBackslash = nullptr;
    for (const char16_t* p = libraryPath; *p; ++p)
        if (*p == u'\\') lastBackslash = p;
    // This instrument renders in 20 ms steps and misbehaves with other block sizes.
    if (lastBackslash && EqualsNoCase(lastBackslash + 1, kBlockSizeQuirkLibrary)) return sampleRate / 50 * 2;
    return kDefaultBlockSize;
}

Preparation PrepareForSong(VstiInstance* instance, int32_t sampleRate, bool songDouble) {
    if (instance->host && instance->host->remote) return RemotePrepare(instance->host->remote, instance, sampleRate, songDouble);
    // Each field read once: the instrument may change them at any time.
    const vst2::AEffect* effect = instance->effect;
    const int32_t flags = effect->flags;
    const int32_t outputs = effect->numOutputs;
    const int32_t inputs = effect->numInputs > 0 ? effect->numInputs : 0;
    const int32_t blockSize = BlockSizeFor(instance->host ? instance->host->path : u"", sampleRate);
    const bool sameBuffers = blockSize == instance->blockSize && outputs == instance->outputCount &&
                             inputs == instance->inputCount && songDouble == instance->processDouble;
    if (!sameBuffers) FreeBuffers(instance);
    instance->sampleRate = sampleRate;
    instance->blockSize = blockSize;
    if (outputs < 2 || outputs > kMaxChannels || inputs > kMaxChannels) return Preparation::Unusable;
    const int32_t width = songDouble ? vst2::effFlagsCanDoubleReplacing : vst2::effFlagsCanReplacing;
    if (!(flags & width)) return Preparation::OtherWidth;
    instance->outputCount = outputs;
    instance->inputCount = inputs;
    instance->processDouble = songDouble;
    if (instance->channels) return Preparation::Ready;
    if (blockSize <= 0 || !AllocateBuffers(instance)) return Preparation::Unusable;
    return Preparation::Ready;
}

bool PrepareBuffers(VstiInstance* instance, int32_t sampleRate) {
    return PrepareForSong(instance, sampleRate, CanDoubleReplacing(instance)) == Preparation::Ready;
}

void StartInstance(VstiInstance* instance) {
    const intptr_t precision = instance->processDouble ? 1 : 0;
    Dispatch(instance, vst2::effSetProgram, 0, nullptr, 0.0f);
    Dispatch(instance, vst2::effSetSampleRate, 0, nullptr, static_cast<float>(instance->sampleRate));
    Dispatch(instance, vst2::effSetBlockSize, instance->blockSize, nullptr, 0.0f);
    Dispatch(instance, vst2::effSetProcessPrecision, precision, nullptr, 0.0f);
    Dispatch(instance, vst2::effMainsChanged, 1, nullptr, 0.0f);
    Dispatch(instance, vst2::effStartProcess, 0, nullptr, 0.0f);
}

void StopInstance(VstiInstance* instance) {
    Dispatch(instance, vst2::effStopProcess, 0, nullptr, 0.0f);
    Dispatch(instance, vst2::effMainsChanged, 0, nullptr, 0.0f);
}

void DestroyInstance(VstiInstance* instance) {
    if (!instance) return;
    if (instance->host) {
        CloseEffectOnHost(instance->host, instance->effect);
        instance->effect = nullptr;
        instance->host = nullptr;
    }
    FreeBuffers(instance);
    delete instance;
}

}  // namespace tavren
