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

}  // namespace tavren
