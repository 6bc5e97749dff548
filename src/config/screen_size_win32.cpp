#include <windows.h>

#include "config/editor_pos.h"

namespace tavren {

void ScreenSize(int32_t* width, int32_t* height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

}  // namespace tavren
