// The requests to the host thread as both builds make and run them; only
// carrying a request to the thread is each platform's own.
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/word_wait.h"
#include "vsthost/block_request.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"
#include "vsthost/instrument_call.h"
#include "vsthost/remote_host.h"

namespace tavren {

namespace {

std::atomic<uint64_t> tripCount{0};

void CountTrip() { tripCount.fetch_add(1, std::memory_order_relaxed); }

// A bare process call in a host process: a block of one part without events,
// its outputs dropped (the instance keeps no buffers on this side).
void ProcessRemotely(VstiInstance* instance, int32_t sampleFrames) {
    if (sampleFrames <= 0 || sampleFrames > instance->blockSize) return;
    std::vector<double> outputs(2 * static_cast<size_t>(sampleFrames));
    BlockRequest request;
    request.count = 1;
    InstanceBlock& part = request.parts[0];
    part.instance = instance;
    part.frames = sampleFrames;
    part.left = outputs.data();
    part.right = outputs.data() + sampleFrames;
    RunBlock(request);
}

}  // namespace

uint64_t HostTrips() { return tripCount.load(std::memory_order_relaxed); }

namespace {

// [host thread, inside a guarded call]
void CallProcess(vst2::AEffect* effect, const ProcessRequest& request) {
    if (request.useDouble) {
        // Read only with the double flag: short AEffect structures end before this field.
        if (effect->processDoubleReplacing)
            effect->processDoubleReplacing(effect, reinterpret_cast<double**>(request.inputs),
                                           reinterpret_cast<double**>(request.outputs), request.sampleFrames);
    } else if (effect->processReplacing) {
        effect->processReplacing(effect, reinterpret_cast<float**>(request.inputs),
                                 reinterpret_cast<float**>(request.outputs), request.sampleFrames);
    }
}

}  // namespace

intptr_t RunDispatch(VstiHost* host, vst2::AEffect* effect, const DispatchRequest& request) {
    intptr_t result = 0;
    CallInstrument(host, [&] {
        result = effect->dispatcher(effect, request.opcode, request.index, request.value, request.ptr, request.opt);
    });
    return result;
}

void RunProcess(VstiHost* host, vst2::AEffect* effect, const ProcessRequest& request) {
    CallInstrument(host, [&] { CallProcess(effect, request); });
}

void RunCloseEffect(VstiHost* host, vst2::AEffect* effect) {
    CallInstrument(host, [&] { effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f); });
}

intptr_t Dispatch(VstiInstance* instance, int32_t opcode, intptr_t value, void* ptr, float opt) {
    VstiHost* host = instance->host;
    if (!host) return 0;
    DispatchRequest request;
    request.opcode = opcode;
    request.value = value;
    request.ptr = ptr;
    request.opt = opt;
    if (host->remote) return RemoteDispatch(host->remote, instance->effect, opcode, 0, value, ptr, opt);
    // On the host thread (inside a callback or an editor) a request would only add a detour.
    if (OnHostThread(host)) return RunDispatch(host, instance->effect, request);
    CountTrip();
    SendDispatch(host, instance->effect, &request);
    return request.result;
}

void ProcessOnHost(VstiInstance* instance, int32_t sampleFrames) {
    if (instance->host && instance->host->remote) return ProcessRemotely(instance, sampleFrames);
    if (!instance->host || !instance->channels) return;
    ProcessRequest request;
    request.inputs = instance->inputChannels;
    request.outputs = instance->channels;
    request.sampleFrames = sampleFrames;
    request.useDouble = instance->processDouble;  // the width its buffers were made for
    CountTrip();
    SendProcess(instance->host, instance->effect, &request);
}

namespace {

// [host thread] One instance's part of a block: its events and its process
// call, as one guarded call. False when its library has faulted.
bool ServePart(VstiInstance* instance, InstanceBlock& part) {
    vst2::AEffect* effect = instance->effect;
    instance->timeInfo.samplePos = static_cast<double>(part.blockStart);
    const bool process = part.frames > 0 && instance->channels;
    ProcessRequest request;
    request.inputs = instance->inputChannels;
    request.outputs = instance->channels;
    request.sampleFrames = part.frames;
    request.useDouble = instance->processDouble;  // the width its buffers were made for
    const bool returned = CallInstrument(instance->host, [&] {
        effect->dispatcher(effect, vst2::effProcessEvents, 0, 0, const_cast<vst2::VstEvents*>(part.events), 0.0f);
        if (process) CallProcess(effect, request);
    });
    if (!returned) return false;
    // Copied out: the next block may be rendered into the instance's
    // buffers before the requester has mixed this one.
    if (process && part.left && part.right && part.frames <= instance->blockSize) {
        const size_t bytes = static_cast<size_t>(part.frames) * (instance->processDouble ? 8 : 4);
        std::memcpy(part.left, instance->channels[0], bytes);
        std::memcpy(part.right, instance->channels[1], bytes);
        part.rendered = true;
    }
    instance->timeInfo.samplePos += part.frames;
    return true;
}

}  // namespace

void ServeBlock(BlockRequest& request) {
    const uint64_t started = platform::MonotonicMicroseconds();
    request.startedAt.store(started, std::memory_order_release);
    request.served = 0;
    request.failed = false;
    for (int32_t i = 0; i < request.count; ++i) {
        if (request.cancelled.load(std::memory_order_relaxed)) break;
        InstanceBlock& part = request.parts[i];
        VstiInstance* instance = part.instance;
        part.rendered = false;
        // Every part belongs to the one host: after a fault none is called.
        if (instance && instance->host && !ServePart(instance, part)) {
            request.failed = true;
            break;
        }
        request.served = i + 1;
        if (request.bounded && platform::TickCount() - request.clockStart > request.limitMs) break;
    }
    request.serviceMicros = static_cast<uint32_t>(platform::MonotonicMicroseconds() - started);
}

namespace {

void OnBlock(VstiHost*, void* arg) { ServeBlock(*static_cast<BlockRequest*>(arg)); }

}  // namespace

void PostBlock(BlockRequest& request) {
    request.served = 0;
    request.failed = false;
    request.startedAt.store(0, std::memory_order_relaxed);
    for (int32_t i = 0; i < request.count; ++i) request.parts[i].rendered = false;
    request.call.run = OnBlock;
    request.call.arg = &request;
    VstiHost* host = request.count > 0 && request.parts[0].instance ? request.parts[0].instance->host : nullptr;
    if (!host) return;
    if (host->remote) {
        CountTrip();
        return RemotePostBlock(host->remote, request);
    }
    if (!OnHostThread(host)) CountTrip();
    PostCall(host, &request.call);
}

namespace {

// Shorter sleeps than this are not worth a timer.
constexpr uint64_t kShortestSleepMicros = 20;

// Set once a timed sleep overslept by half a block: the system's timers are
// too coarse (plain Windows rounds to its tick) and pacing would stall the
// host. From then on waiters ask to be woken.
std::atomic<bool> coarseTimers{false};

bool Answered(const BlockRequest& request) {
    const uint32_t state = request.call.state.load(std::memory_order_acquire);
    return state == kCallDone || state == kCallIdle;
}

// Sleeps until the block is due without asking to be woken; gives up (the
// caller then asks) once it is due, or when timers prove too coarse.
void SleepUntilDue(BlockRequest& request, uint32_t expectedMicros) {
    const uint64_t waitStart = platform::MonotonicMicroseconds();
    for (;;) {
        if (Answered(request) || coarseTimers.load(std::memory_order_relaxed)) return;
        const uint64_t started = request.startedAt.load(std::memory_order_acquire);
        // Not begun: the host is still on an earlier request; a block later at most.
        const uint64_t due = (started ? started : waitStart) + expectedMicros;
        const uint64_t now = platform::MonotonicMicroseconds();
        if (now + kShortestSleepMicros >= due) return;
        platform::WaitOnWord(&request.call.state, kCallQueued, static_cast<uint32_t>(due - now));
        if (platform::MonotonicMicroseconds() > due + expectedMicros / 2) coarseTimers.store(true);
    }
}

}  // namespace

void WaitBlock(BlockRequest& request, uint32_t expectedMicros) {
    VstiHost* host = request.count > 0 && request.parts[0].instance ? request.parts[0].instance->host : nullptr;
    if (host && host->remote) return RemoteWaitBlock(host->remote, request, expectedMicros);
    if (expectedMicros > kShortestSleepMicros) SleepUntilDue(request, expectedMicros);
    WaitCall(&request.call);
}

void RunBlock(BlockRequest& request) {
    PostBlock(request);
    WaitBlock(request);
}

}  // namespace tavren
