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

}  // namespace tavren
