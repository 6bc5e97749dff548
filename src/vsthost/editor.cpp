// The decoder's side of the editors: whether they are wanted and shown, and
// "EditorPos". The windows themselves belong to the instances' host thread,
// or to their host process.
#include "vsthost/editor.h"

#include "config/editor_pos.h"
#include "vsthost/editor_grid.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"
#include "vsthost/remote_host.h"

namespace tavren {

namespace {

RemoteHost* RemoteOf(const PlaybackState& playback) {
    const VstiInstance* first = playback.instances[0];
    return first && first->host ? first->host->remote : nullptr;
}

int32_t EditorCount(const PlaybackState& playback) {
    return playback.instanceCount < kEditorPorts ? playback.instanceCount : kEditorPorts;
}

}  // namespace

void OpenEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors) {
    if (!editors.editorWanted || editors.editorShown) return;
    editors.editorShown = true;
    int32_t x = 0, y = 0;
    ReadEditorPos(config, &x, &y);
    if (!playback.instances[0]) return;
    if (RemoteHost* remote = RemoteOf(playback))
        RemoteOpenEditors(remote, playback.instances, EditorCount(playback), x, y);
    else
        OpenEditorWindows(playback, x, y);
}

void CloseEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors) {
    if (!editors.editorShown) return;
    editors.editorShown = false;
    if (!playback.instances[0]) return;
    int32_t x = 0, y = 0;
    if (RemoteHost* remote = RemoteOf(playback))
        RemoteCloseEditors(remote, playback.instances, EditorCount(playback), &x, &y);
    else
        CloseEditorWindows(playback, &x, &y);
    SaveEditorPos(config, x, y);
}

}  // namespace tavren
