// What a dispatch or process request runs on the host thread, the same in
// both builds.
#include "vsthost/host_thread.h"

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

}  // namespace tavren
