#include <windows.h>

#include "dynamic_library.h"

namespace {

std::wstring Widen(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) {
    handle = LoadLibraryW(Widen(HostPath(path)).c_str());
}

DynamicLibrary::~DynamicLibrary() {
    if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
}

void* DynamicLibrary::Symbol(const char* name) const {
    return handle ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)) : nullptr;
}

std::string HostPath(const std::string& path) {
    // The build passes Linux paths; Wine maps the Linux root to drive Z:.
    if (path.empty() || path[0] != '/') return path;
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return windows;
}
