#include "vsthost/host_start.h"

#include <new>

#include "config/arch.h"
#include "frame/instance_cache.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vsthost/host_thread.h"
#include "vsthost/library_arch.h"
#include "vsthost/remote_host.h"

namespace tavren {

namespace {

constexpr size_t kProgramChars = 1024;

}  // namespace

bool IsOtherArchLibrary(const char16_t* path) {
    const LibraryArch arch = ReadLibraryArch(path);
    return arch != LibraryArch::Unknown && arch != OwnArch();
}

VstiHost* StartHostFor(const char16_t* path, int32_t mode, char16_t* reason, size_t reasonChars) {
    if (reason && reasonChars) reason[0] = 0;
    const bool other = IsOtherArchLibrary(path);
    if (mode != kBridgeAlways && !(mode == kBridgeOtherArch && other)) return StartHost(path);

    char16_t program[kProgramChars] = {};
    platform::ModuleFolder(program, kProgramChars);
    AppendText(program, kProgramChars, other ? TAVREN_OTHER_HOST_PROGRAM : TAVREN_HOST_PROGRAM);
    auto* host = new (std::nothrow) VstiHost();
    if (!host) return nullptr;
    CopyText(host->path, sizeof(host->path) / sizeof(host->path[0]), path);
    host->remote = StartRemoteHost(host->path, program, reason, reasonChars);
    if (!host->remote) {
        delete host;
        return nullptr;
    }
    return host;
}

bool StopRemoteVstiHost(VstiHost* host) {
    if (!host || !host->remote) return false;
    FlushCache(host);  // closed in the process, while it still answers
    StopRemoteHost(host->remote);
    delete host;
    return true;
}

}  // namespace tavren
