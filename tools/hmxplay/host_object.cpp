#include "host_object.h"

namespace hmxplay {

using namespace tavren;

HmxResult HostObject::QueryInterface(const HmxGuid& iid, void** out) {
    if (!out) return kHmxInvalidArg;
    if (iid == kIidUnknown || (offerFactory && iid == kIidHmxInstanceFactory)) {
        *out = static_cast<IHmxInstanceFactory*>(this);
        AddRef();
        return kHmxOk;
    }
    *out = nullptr;
    return kHmxNoInterface;
}

HmxResult HostObject::CreateInstance(const HmxGuid& iid, const HmxGuid& module, uint32_t, uint32_t, uint32_t,
                                     void** out) {
    if (!out) return kHmxInvalidArg;
    *out = nullptr;
    if (iid != kIidHmxConfig || module != kModuleGuid) return kHmxNoInterface;
    config->AddRef();
    *out = config;
    return kHmxOk;
}

}  // namespace hmxplay
