// The do-nothing configuration used when the host player offers none: every
// read gives its default, every write is ignored. Code that would read or
// write a setting checks IsNullConfig first and uses the default without a call.
#pragma once

#include "frame/unknown_impl.h"

namespace tavren {

class AxHmxNullConfig final : public AxHmxUnknownImpl<IHmxConfig> {
public:
    int32_t HMX_CALL SetInt(const HmxChar*, const HmxChar*, int64_t) override { return 0; }
    int64_t HMX_CALL GetInt(const HmxChar*, const HmxChar*, int64_t def) override { return def; }
    int32_t HMX_CALL SetFloat(const HmxChar*, const HmxChar*, double) override { return 0; }
    double HMX_CALL GetFloat(const HmxChar*, const HmxChar*, double def) override { return def; }
    int32_t HMX_CALL SetStr(const HmxChar*, const HmxChar*, const HmxChar*) override { return 0; }
    uint32_t HMX_CALL GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                             const HmxChar* def) override;
    int32_t HMX_CALL SetBin(const HmxChar*, const HmxChar*, const void*, uint32_t) override { return 0; }
    uint32_t HMX_CALL GetBin(const HmxChar* section, const HmxChar* key, void* buffer, uint32_t size) override;
};

// True when config is an AxHmxNullConfig (recognised by its type).
bool IsNullConfig(IHmxConfig* config);

}  // namespace tavren
