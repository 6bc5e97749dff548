#include "frame/null_config.h"

#include <cstring>

#include "platform/text.h"

namespace tavren {

uint32_t AxHmxNullConfig::GetStr(const HmxChar*, const HmxChar*, HmxChar* buffer, uint32_t sizeBytes,
                                 const HmxChar* def) {
    if (buffer) CopyText(buffer, sizeBytes / 2, def);
    return static_cast<uint32_t>((TextLength(def) + 1) * 2);
}

uint32_t AxHmxNullConfig::GetBin(const HmxChar*, const HmxChar*, void* buffer, uint32_t size) {
    if (buffer) std::memset(buffer, 0, size);
    return 0;
}

// The type is recognised by its vtable, which never dereferences anything
// beyond the object's first word: a host's own object may carry no RTTI.
bool IsNullConfig(IHmxConfig* config) {
    static const AxHmxNullConfig reference;
    if (!config) return false;
    void* const* vtable = *reinterpret_cast<void* const* const*>(config);
    return vtable == *reinterpret_cast<void* const* const*>(&reference);
}

}  // namespace tavren
