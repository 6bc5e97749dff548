#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/text.h"
#include "plugin_library.h"

namespace hmxplay {

bool LoadPlugin(const std::string& path, PluginLibrary* plugin) {
    std::u16string wide = PluginPath(path);
    plugin->handle = LoadLibraryW(reinterpret_cast<const wchar_t*>(wide.c_str()));
    if (!plugin->handle) {
        std::fprintf(stderr, "hmxplay: cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return false;
    }
    // Through void*: GetProcAddress's own function type says nothing of the real one.
    void* proc = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(plugin->handle), "hmx_CreateInstance"));
    plugin->createInstance = reinterpret_cast<tavren::HmxCreateInstanceProc>(proc);
    if (!plugin->createInstance) {
        std::fprintf(stderr, "hmxplay: %s has no hmx_CreateInstance\n", path.c_str());
        UnloadPlugin(plugin);
        return false;
    }
    return true;
}

void UnloadPlugin(PluginLibrary* plugin) {
    if (plugin->handle) FreeLibrary(static_cast<HMODULE>(plugin->handle));
    *plugin = PluginLibrary{};
}

std::string ExecutableFolder() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::string path = tavren::ToUtf8(reinterpret_cast<const char16_t*>(std::wstring(buffer, n).c_str()));
    return path.substr(0, path.find_last_of("\\/") + 1);
}

// Wine maps drive Z: to the Unix root, so a Unix path names the same file there.
std::string NativePath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::u16string PluginPath(const std::string& path) { return tavren::FromUtf8(NativePath(path)); }

void PrepareConsole() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

}  // namespace hmxplay
