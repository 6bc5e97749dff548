// Module-wide state, one per loaded plug-in: the live module count, the
// lock that guards the instrument host and its cache, and that host.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace tavren {

struct VstiHost;

// Live AxVstiDecoderModule objects; changed only atomically.
extern std::atomic<int32_t> ModuleCount;

// Guards CurrentHost, its creation and its cache slots, and the last module's
// release. Exists while the plug-in is loaded. The host thread never takes it.
extern platform::CriticalSection HostLock;

// The one loaded instrument library, null until a VSTi is first loaded.
// [holds HostLock] to read or change.
extern VstiHost* CurrentHost;

// Hosts whose host process failed, replaced as CurrentHost by a fresh one:
// the songs that played through them may still hold their instances, so
// they are stopped only with the last module. [holds HostLock]
void RetireHost(VstiHost* host);
// [holds HostLock] Stops every retired host.
void StopRetiredHosts();

}  // namespace tavren
