// What the targets that load instruments observe of their own process, to
// check that releasing everything leaves nothing behind:
//   ThreadCount      threads of this process, -1 when unknown
//   ThreadsBackTo    waits up to a second for the count to fall to a value
//   LibraryLoaded    whether a library of that path is mapped
//   InstrumentPath   an instrument built for fuzzing (build/fuzz/NAME.so)
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace fuzzsupport {

inline int ThreadCount() {
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    int n = 0;
    while (const dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
    closedir(dir);
    return n;
}

// A joined thread can stay listed for a moment after the join returns (its
// thread id is cleared before it is reaped): give it a second to go.
inline bool ThreadsBackTo(int count) {
    for (int i = 0; i < 100; ++i) {
        if (ThreadCount() <= count) return true;
        usleep(10000);
    }
    return false;
}

inline bool LibraryLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

// The instruments are built in the folder above the fuzzer's own (build/fuzz).
inline std::string InstrumentPath(const char* name) {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? size_t(n) : 0);
    path = path.substr(0, path.rfind('/'));
    return path.substr(0, path.rfind('/') + 1) + name + ".so";
}

}  // namespace fuzzsupport
