// The first line of every benchmark: how its code runs here. 32-bit code on
// a machine whose kernel cannot run it goes through an emulator (see
// scripts/i386-exec.sh) about ten times slower, and its figures are then no
// performance figures. scripts/wine-run.sh tells Windows programs by
// TAVREN_I386_PATH.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

inline void PrintRunPath() {
#if defined(_WIN32) && !defined(_WIN64)
    const char* path = std::getenv("TAVREN_I386_PATH");
    if (path && std::strcmp(path, "emulated") == 0)
        std::printf("run path: 32-bit code, emulated (qemu-i386): these timings are no performance figures\n");
    else if (path && std::strcmp(path, "native") == 0)
        std::printf("run path: 32-bit code, native\n");
    else
        std::printf("run path: 32-bit code, native or emulated unknown (run through scripts/wine-run.sh to know)\n");
#else
    std::printf("run path: %d-bit code, native\n", static_cast<int>(sizeof(void*) * 8));
#endif
}
