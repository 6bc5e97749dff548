#include "frame/module_state.h"

namespace tavren {

std::atomic<int32_t> ModuleCount{0};
platform::CriticalSection HostLock;
VstiHost* CurrentHost = nullptr;

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
