// The decoder module: the object the host player keeps while the plug-in is
// loaded. It describes the plug-in, opens songs, and passes the
// configuration page and applied changes on. The first module object
// initialises HostLock; the last deletes it and stops the instrument host.
#pragma once

#include "frame/unknown_impl.h"

namespace tavren {

class AxVstiDecoderModule final : public AxHmxUnknownImpl<IHmxDecoderModule> {
public:
    // Takes its own reference on config; counts itself in ModuleCount.
    explicit AxVstiDecoderModule(IHmxConfig* config);
    ~AxVstiDecoderModule() override;

    void HMX_CALL GetModuleInfo(HmxModuleInfo** out) override;
    int32_t HMX_CALL Open(const HmxMediaInfo* request, IHmxFile* file, void* unused, IHmxDecoder** out) override;
    int32_t HMX_CALL DescribeConfig(IHmxConfigBuilder* builder) override;
    int32_t HMX_CALL ApplyConfig(const HmxChar* section, const HmxChar* key, uint32_t, uint32_t, uint32_t, uint32_t,
                                 const HmxChar* value) override;

private:
    HmxModuleInfo moduleInfo;
    IHmxConfig* config;
};

// What the plug-in's export does; tests call it inside the core.
HmxResult CreateModuleInstance(const HmxGuid* iid, void** out, IUnknown* host);

}  // namespace tavren
