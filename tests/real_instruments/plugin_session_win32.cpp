// Windows: the plug-in shows real message boxes; the shared watcher finds,
// records and closes them.
#include <windows.h>

#include "message_box_watcher.h"
#include "plugin_session.h"
#include "platform/text.h"

namespace realsynth {

BoxCapture::BoxCapture() { state = new tavren::MessageBoxWatcher; }

BoxCapture::~BoxCapture() { delete static_cast<tavren::MessageBoxWatcher*>(state); }

std::string BoxCapture::Text() {
    // Each box is closed before the call that showed it returns.
    std::string text;
    for (const tavren::MessageBoxSeen& box : static_cast<tavren::MessageBoxWatcher*>(state)->Boxes())
        text += tavren::ToUtf8(box.caption) + ": " + tavren::ToUtf8(box.text) + "\n";
    return text;
}

bool LibraryLoaded(const std::string& path) {
    return GetModuleHandleW(reinterpret_cast<const wchar_t*>(tavren::FromUtf8(HostPath(path)).c_str())) != nullptr;
}

// Wine starts threads of its own in the process at will: not counted here.
int ThreadCount() { return -1; }

}  // namespace realsynth
