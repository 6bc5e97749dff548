#include "frame/instance_cache.h"

#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren {

VstiInstance* TakeFromCache(VstiHost* host) {
    for (VstiInstance*& slot : host->cacheSlots) {
        if (slot) {
            VstiInstance* instance = slot;
            slot = nullptr;
            return instance;
        }
    }
    return nullptr;
}

void CacheInstance(VstiHost* host, VstiInstance* instance) {
    if (!instance) {
        FlushCache(host);
        return;
    }
    for (VstiInstance*& slot : host->cacheSlots) {
        if (!slot) {
            slot = instance;
            return;
        }
    }
    // Full: the newcomer goes, the instances already kept stay.
    DestroyInstance(instance);
}

void FlushCache(VstiHost* host) {
    for (VstiInstance*& slot : host->cacheSlots) {
        if (slot) {
            DestroyInstance(slot);
            slot = nullptr;
        }
    }
}

}  // namespace tavren
