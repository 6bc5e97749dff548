// What the module hands on to the other subsystems: opening a song, the
// configuration page, applied changes, and stopping the instrument host.
#pragma once

#include "frame/host_interface.h"

namespace tavren::ModuleHooks {

// A decoder for the song, or null when the open fails.
IHmxDecoder* OpenDecoder(IHmxConfig* config, const HmxMediaInfo* request, IHmxFile* file);
int32_t DescribeConfig(IHmxConfig* config, IHmxConfigBuilder* builder);
int32_t ApplyConfig(IHmxConfig* config, const HmxChar* section, const HmxChar* key, const HmxChar* value);
// Called by the last module's destruction: stops and forgets CurrentHost.
void StopCurrentHost();

}  // namespace tavren::ModuleHooks
