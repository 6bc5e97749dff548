// The requests to the host thread as both builds make and run them; only
// carrying a request to the thread is each platform's own.
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren {

intptr_t RunDispatch(vst2::AEffect* effect, const DispatchRequest& request) {
    return effect->dispatcher(effect, request.opcode, request.index, request.value, request.ptr, request.opt);
}

void RunProcess(vst2::AEffect* effect, const ProcessRequest& request) {
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

void RunCloseEffect(vst2::AEffect* effect) { effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f); }

intptr_t Dispatch(VstiInstance* instance, int32_t opcode, intptr_t value, void* ptr, float opt) {
    VstiHost* host = instance->host;
    if (!host) return 0;
    DispatchRequest request;
    request.opcode = opcode;
    request.value = value;
    request.ptr = ptr;
    request.opt = opt;
    // On the host thread (inside a callback or an editor) a request would only add a detour.
    if (OnHostThread(host)) return RunDispatch(instance->effect, request);
    SendDispatch(host, instance->effect, &request);
    return request.result;
}

void ProcessOnHost(VstiInstance* instance, int32_t sampleFrames) {
    if (!instance->host || !instance->channels) return;
    ProcessRequest request;
    request.inputs = instance->inputChannels;
    request.outputs = instance->channels;
    request.sampleFrames = sampleFrames;
    request.useDouble = instance->processDouble;  // the width its buffers were made for
    SendProcess(instance->host, instance->effect, &request);
}

}  // namespace tavren
