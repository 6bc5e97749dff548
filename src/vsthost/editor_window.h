// Windows build only: the editor window of one instance. It lives on the
// host thread, so every editor call its procedure makes goes straight to
// the instrument.
//   EditorGridPosition  [any thread] where port t's window goes when the window of
//                       s's own port is at (x, y); the outer sizes come from each
//                       sibling's editor rectangle plus the caption and frame of
//                       s's window (a sibling without a rectangle counts as 0 x 0)
//   EditorWindowProc    [host thread] the procedure handed to VHM_CREATE_WINDOW,
//                       with the instance as creation parameter: opens the editor,
//                       sizes the window to it, idles it every 10 ms, keeps the
//                       siblings' windows in the grid when it moves, and closes the
//                       editor when the window goes
#pragma once

#include <windows.h>

#include <atomic>

#include "vsthost/editor_grid.h"

namespace tavren {

struct VstiInstance;

GridPoint EditorGridPosition(VstiInstance* s, int32_t x, int32_t y, int32_t t);

// The editor state of an instance (window, timer, position, port, siblings)
// is the host thread's: its window procedure changes it at any time. Each
// touch made on another thread is counted here, for tests.
extern std::atomic<int32_t> EditorStateTouchedOffHostThread;

LRESULT CALLBACK EditorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tavren
