#include "frame/module_state.h"

namespace tavren {

std::atomic<int32_t> ModuleCount{0};
platform::CriticalSection HostLock;
VstiHost* CurrentHost = nullptr;

}  // namespace tavren
