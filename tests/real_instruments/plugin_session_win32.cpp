// Windows: what a test of the real plug-in asks of the process.
#include <windows.h>

#include "plugin_session.h"
#include "platform/text.h"

namespace realsynth {

bool LibraryLoaded(const std::string& path) {
    return GetModuleHandleW(reinterpret_cast<const wchar_t*>(tavren::FromUtf8(HostPath(path)).c_str())) != nullptr;
}

// Wine starts threads of its own in the process at will: not counted here.
int ThreadCount() { return -1; }

}  // namespace realsynth
