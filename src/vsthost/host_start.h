// Where an instrument library plays: on a host thread in the player's own
// process (as ever), or in a host process of its own architecture, as the
// bridge setting ("VSTiBridge_x86") asks:
//   0  never: a library of the other architecture does not load
//   1  only libraries of the other architecture
//   2  every library
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavren {

struct VstiHost;

enum BridgeMode : int32_t { kBridgeNever = 0, kBridgeOtherArch = 1, kBridgeAlways = 2 };

// [any thread, holds HostLock] The host for the library at path, started;
// null when it cannot be had. Why, when there is more to say than that the
// library did not load, into reason (empty otherwise).
VstiHost* StartHostFor(const char16_t* path, int32_t mode, char16_t* reason, size_t reasonChars);

// True when the library at path is of the other architecture than this
// build's, as far as its file tells.
bool IsOtherArchLibrary(const char16_t* path);

// [any thread] StopHost's work for a host whose library lives in a host
// process: its cached instances closed, the process ended, the host freed.
// False (nothing done) for a host thread of this process.
bool StopRemoteVstiHost(VstiHost* host);

}  // namespace tavren
