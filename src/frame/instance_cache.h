// The cache of idle instances: four slots of the one VstiHost, so that the
// next song need not open the instrument again. Every call [holds HostLock],
// except FlushCache from StopHost, when no user is left.
#pragma once

namespace tavren {

struct VstiHost;
struct VstiInstance;

// First filled slot in slot order, emptied; null when all are empty.
VstiInstance* TakeFromCache(VstiHost* host);

// Keeps the instance in the first empty slot, or closes it when all are
// taken; a null instance flushes the cache.
void CacheInstance(VstiHost* host, VstiInstance* instance);

// Closes every cached instance and empties the slots.
void FlushCache(VstiHost* host);

}  // namespace tavren
