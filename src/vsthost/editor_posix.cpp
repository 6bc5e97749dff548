// The native build has no windows: the editors are "shown" and "closed" as
// flags only, while "EditorPos" is read on opening and written on closing
// as the Windows build does. Instance 0's window would open at the saved
// position and nobody can move it, so that position is what closing saves.
#include "config/editor_pos.h"
#include "vsthost/editor.h"
#include "vsthost/instance.h"

namespace tavren {

void OpenEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors) {
    if (!editors.editorWanted || editors.editorShown) return;
    editors.editorShown = true;
    int32_t x = 0, y = 0;
    ReadEditorPos(config, &x, &y);
    VstiInstance* first = playback.instances[0];
    if (first && (first->effect->flags & vst2::effFlagsHasEditor)) {
        first->windowX = x;
        first->windowY = y;
    }
}

void CloseEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors) {
    if (!editors.editorShown) return;
    editors.editorShown = false;
    if (const VstiInstance* first = playback.instances[0]) SaveEditorPos(config, first->windowX, first->windowY);
}

}  // namespace tavren
