// libFuzzer entry for a settings file as a person might write it: through
// hmxplay's store and the plug-in's settings reader, once with the keys of
// the 32-bit plug-in and once with the 64-bit one's (check.cpp, compiled
// once for each). Input layout: touches.h.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/touches.h"

// The same check, compiled for each architecture's key names.
namespace tavren::fuzz {
void CheckSettingsFile(const std::string& path, const uint8_t* data, size_t size);
}
namespace tavren_x64::fuzz {
void CheckSettingsFile(const std::string& path, const uint8_t* data, size_t size);
}

namespace {

// A folder of this process's own in memory-backed storage when there is
// one: every input is written, saved and read back as a file.
std::string folder;

void RemoveFolder() {
    for (const char* name : {"/x86.settings", "/x64.settings", "/x86.settings.new", "/x64.settings.new"})
        std::remove((folder + name).c_str());
    rmdir(folder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    std::string pattern = std::string(base) + "/tavren-settings-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("settings fuzzer: cannot make its folder");
        std::exit(1);
    }
    folder = pattern;
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < settingsfuzz::kTouchBytes) return 0;
    tavren::fuzz::CheckSettingsFile(folder + "/x86.settings", data, size);
    tavren_x64::fuzz::CheckSettingsFile(folder + "/x64.settings", data, size);
    return 0;
}
