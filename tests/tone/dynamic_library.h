// A loaded shared library, unloaded when the object goes away.
// - DynamicLibrary(path): loads it; IsLoaded() tells whether that worked.
// - Symbol(name): the exported symbol, or nullptr.
// - HostPath(path): a build-tree path as this platform's file functions want it
//   (the Windows build sees the same tree through Wine's Z: drive).
#pragma once

#include <string>

class DynamicLibrary {
public:
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool IsLoaded() const { return handle != nullptr; }
    void* Symbol(const char* name) const;

private:
    void* handle = nullptr;
};

std::string HostPath(const std::string& path);
