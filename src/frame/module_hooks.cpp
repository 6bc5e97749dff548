#include "frame/module_hooks.h"

namespace tavren::ModuleHooks {

IHmxDecoder* OpenDecoder(IHmxConfig*, const HmxMediaInfo*, IHmxFile*) { return nullptr; }
int32_t DescribeConfig(IHmxConfig*, IHmxConfigBuilder*) { return 1; }
int32_t ApplyConfig(IHmxConfig*, const HmxChar*, const HmxChar*, const HmxChar*) { return 0; }
void StopCurrentHost() {}

}  // namespace tavren::ModuleHooks
