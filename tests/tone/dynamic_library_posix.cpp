#include <dlfcn.h>

#include "dynamic_library.h"

DynamicLibrary::DynamicLibrary(const std::string& path) { handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

DynamicLibrary::~DynamicLibrary() {
    if (handle != nullptr) dlclose(handle);
}

void* DynamicLibrary::Symbol(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }

std::string HostPath(const std::string& path) { return path; }
