#include "frame/module_hooks.h"

#include "config/apply.h"
#include "config/page.h"
#include "frame/decoder.h"
#include "frame/module_state.h"
#include "vsthost/host_thread.h"

namespace tavren::ModuleHooks {

IHmxDecoder* OpenDecoder(IHmxConfig* config, const HmxMediaInfo* request, IHmxFile* file) {
    return tavren::OpenDecoder(config, request, file);
}

int32_t DescribeConfig(IHmxConfig* config, IHmxConfigBuilder* builder) {
    return tavren::DescribeConfig(config, builder);
}

int32_t ApplyConfig(IHmxConfig* config, const HmxChar* section, const HmxChar* key, const HmxChar* value) {
    return ApplyConfigCommand(config, section, key, value);
}

void StopCurrentHost() {
    // No module and no decoder is left, so nothing else can reach the host.
    if (CurrentHost) StopHost(CurrentHost);
    CurrentHost = nullptr;
}

}  // namespace tavren::ModuleHooks
