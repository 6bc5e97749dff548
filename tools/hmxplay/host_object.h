// hmxplay's host object: what the plug-in is handed in hmx_CreateInstance.
// It offers IHmxInstanceFactory, which gives the settings store as the
// module's IHmxConfig; with offerFactory false it offers nothing but IUnknown.
#pragma once

#include <atomic>

#include "frame/host_interface.h"

namespace hmxplay {

class HostObject final : public tavren::IHmxInstanceFactory {
public:
    HostObject(tavren::IHmxConfig* config, bool offerFactory) : config(config), offerFactory(offerFactory) {}

    tavren::HmxResult HMX_CALL QueryInterface(const tavren::HmxGuid& iid, void** out) override;
    int32_t HMX_CALL AddRef() override { return ++refCount; }
    int32_t HMX_CALL Release() override { return --refCount; }  // lives on hmxplay's stack
    tavren::HmxResult HMX_CALL CreateInstance(const tavren::HmxGuid& iid, const tavren::HmxGuid& module, uint32_t,
                                              uint32_t, uint32_t, void** out) override;

    int32_t References() const { return refCount; }

private:
    tavren::IHmxConfig* config;  // no reference held: the store outlives the run
    bool offerFactory;
    std::atomic<int32_t> refCount{1};
};

}  // namespace hmxplay
