#include "frame/module_state.h"

#include <vector>

#include "vsthost/host_thread.h"

namespace tavren {

std::atomic<int32_t> ModuleCount{0};
platform::CriticalSection HostLock;
VstiHost* CurrentHost = nullptr;

namespace {

std::vector<VstiHost*>& Retired() {
    static std::vector<VstiHost*> retired;  // [HostLock]
    return retired;
}

}  // namespace

void RetireHost(VstiHost* host) {
    try {
        Retired().push_back(host);
    } catch (...) {
        // No room to keep it: left as it is (its process has ended), since
        // songs may still hold its instances.
    }
}

void StopRetiredHosts() {
    for (VstiHost* host : Retired()) StopHost(host);
    Retired().clear();
}

namespace {

// The lock lives as long as the plug-in is loaded. Made by the first module
// and deleted by the last, it was used before it existed or after it was
// gone when a creation raced the last release on another thread; the host
// player sees no difference.
struct HostLockLifetime {
    HostLockLifetime() { HostLock.Init(); }
    ~HostLockLifetime() { HostLock.Delete(); }
} hostLockLifetime;

}  // namespace

}  // namespace tavren
