// The native build has no windows: an editor's window would open at the
// saved position and nobody can move it, so that position is what closing
// gives back (instance 0's, when its effect has an editor).
#include "vsthost/editor.h"
#include "vsthost/instance.h"

namespace tavren {

void OpenEditorWindows(const PlaybackState& playback, int32_t x, int32_t y) {
    VstiInstance* first = playback.instances[0];
    if (first && (first->effect->flags & vst2::effFlagsHasEditor)) {
        first->windowX = x;
        first->windowY = y;
    }
}

void CloseEditorWindows(const PlaybackState& playback, int32_t* x, int32_t* y) {
    if (const VstiInstance* first = playback.instances[0]) {
        *x = first->windowX;
        *y = first->windowY;
    }
}

}  // namespace tavren
