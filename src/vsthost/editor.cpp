// Editor windows are not yet hosted: the state and the saved position
// behave as they will with windows, and no window opens.
#include "vsthost/editor.h"

#include "config/editor_pos.h"
#include "vsthost/instance.h"

namespace tavren {

void OpenEditors(IHmxConfig*, const PlaybackState&, EditorState& editors) {
    if (!editors.editorWanted || editors.editorShown) return;
    editors.editorShown = true;
}

void CloseEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors) {
    if (!editors.editorShown) return;
    editors.editorShown = false;
    const VstiInstance* first = playback.instances[0];
    if (first) SaveEditorPos(config, first->windowX, first->windowY);
}

}  // namespace tavren
