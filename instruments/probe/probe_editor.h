// The probe's editor, for testing a host's editor windows. It exists for an
// effect whose flags (PROBE_FLAGS) have HasEditor (0x1); its environment:
//   PROBE_EDITOR_SIZE     "WxH": the editor's size, answered by effEditGetRect and
//                         given to the child window effEditOpen makes; default 320x200
//   PROBE_EDITOR_NO_RECT  "1": effEditGetRect answers no rectangle (0, pointer left null)
//   PROBE_EDITOR_ABSURD_RECT "1": effEditGetRect answers a rectangle whose right and
//                         bottom lie before its left and top, at the 16-bit extremes
// What each call adds to its "dispatch" log line (which starts with the thread id):
//   op=13 effEditGetRect   rect=<w>x<h>   or  rect=none
//   op=14 effEditOpen      parent=<window> child=<window>  (child=0 natively: no windows)
//   op=19 effEditIdle      idles=<n>, the idle calls so far, this one included
//   op=15 effEditClose     idles=<n>
#pragma once

#include <cstdint>
#include <string>

namespace probe {

struct Editor;

// sizeText as in PROBE_EDITOR_SIZE (empty or malformed: the default).
Editor* NewEditor(const std::string& sizeText, bool noRect, bool absurdRect = false);
// Closes the child window if the host never sent effEditClose.
void DeleteEditor(Editor* editor);
// effEditGetRect, effEditOpen, effEditClose and effEditIdle; appends to line.
intptr_t EditorCall(Editor* editor, int32_t opcode, void* ptr, std::string& line);

// [platform file] The child window inside the host's parent window; null when none.
void* OpenChildWindow(void* parent, int width, int height);
void CloseChildWindow(void* child);

}  // namespace probe
