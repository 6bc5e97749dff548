#include "config/editor_pos.h"

namespace tavren {

// The native build shows no windows; a common desktop size keeps the
// clamping of saved positions meaningful (and testable).
void ScreenSize(int32_t* width, int32_t* height) {
    *width = 1920;
    *height = 1080;
}

}  // namespace tavren
