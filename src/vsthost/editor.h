// The instrument's editor windows of a playing song. The decoder asks for
// them to open (Render, UpdateConfig) and to close (UpdateConfig, its
// destruction); closing saves the first window's position in "EditorPos".
#pragma once

#include "playback/playback_state.h"

namespace tavren {

struct IHmxConfig;

struct EditorState {
    bool editorWanted = false;
    bool editorShown = false;
};

// [decoding thread] Opens the editors of the first four instances whose
// effect has one, unless not wanted or already shown; sets editorShown.
void OpenEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors);

// [decoding thread] Closes the editors, if shown, and saves instance 0's
// last window position.
void CloseEditors(IHmxConfig* config, const PlaybackState& playback, EditorState& editors);

// [any thread] The windows alone, on the instances' host thread: the
// editors of the first four instances that have one, the first window at
// (x, y) and the others beside it; and closing them, giving the first
// window's last position. A host process runs these for the player.
void OpenEditorWindows(const PlaybackState& playback, int32_t x, int32_t y);
void CloseEditorWindows(const PlaybackState& playback, int32_t* x, int32_t* y);

}  // namespace tavren
