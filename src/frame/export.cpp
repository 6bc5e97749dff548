// The plug-in's one export.
#include "frame/module.h"

#if defined(_WIN32)
#define HMX_EXPORT
#else
#define HMX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" HMX_EXPORT tavren::HmxResult HMX_CALL hmx_CreateInstance(const tavren::HmxGuid* iid, void** out,
                                                                    tavren::IUnknown* host) {
    try {
        return tavren::CreateModuleInstance(iid, out, host);
    } catch (...) {
        return static_cast<tavren::HmxResult>(0x8007000Eu);  // no exception crosses into the host
    }
}
