// The probe editor's window: a plain static control, so it draws without
// any graphics library (Wine's null display driver has none).
#include <windows.h>

#include "probe_editor.h"

namespace probe {

void* OpenChildWindow(void* parent, int width, int height) {
    if (!parent) return nullptr;
    return CreateWindowExW(0, L"STATIC", L"probe editor", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                           static_cast<HWND>(parent), nullptr, nullptr, nullptr);
}

void CloseChildWindow(void* child) { DestroyWindow(static_cast<HWND>(child)); }

}  // namespace probe
