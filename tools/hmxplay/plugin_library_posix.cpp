#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>

#include "platform/text.h"
#include "plugin_library.h"

namespace hmxplay {

bool LoadPlugin(const std::string& path, PluginLibrary* plugin) {
    plugin->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin->handle) {
        std::fprintf(stderr, "hmxplay: cannot load %s: %s\n", path.c_str(), dlerror());
        return false;
    }
    plugin->createInstance =
        reinterpret_cast<tavren::HmxCreateInstanceProc>(dlsym(plugin->handle, "hmx_CreateInstance"));
    if (!plugin->createInstance) {
        std::fprintf(stderr, "hmxplay: %s has no hmx_CreateInstance\n", path.c_str());
        UnloadPlugin(plugin);
        return false;
    }
    return true;
}

void UnloadPlugin(PluginLibrary* plugin) {
    if (plugin->handle) dlclose(plugin->handle);
    *plugin = PluginLibrary{};
}

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

std::string NativePath(const std::string& path) { return path; }
std::u16string PluginPath(const std::string& path) { return tavren::FromUtf8(path); }

void PrepareConsole() {}
bool StdoutIsTerminal() { return isatty(1) != 0; }

}  // namespace hmxplay
