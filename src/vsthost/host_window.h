// Windows build only: the host thread's windows. Every window gets a window
// class of its own, named after the creating thread and the moment, so that
// editors of different instruments never share a class procedure.
//   CreateHostWindow   [calling thread] registers the class, creates the (hidden) window
//   DestroyHostWindow  [window's thread] destroys it and unregisters its class
//   SendCreateWindow   [any thread] CreateHostWindow on the host thread, owned by the
//                      hidden window, then shown without activation (VHM_CREATE_WINDOW).
//                      The handle is not returned: the window procedure learns it
//                      from its creation messages (createParam arrives in CREATESTRUCT).
//   SendDestroyWindow  [any thread] DestroyHostWindow on the host thread (VHM_DESTROY_WINDOW)
#pragma once

#include <windows.h>

namespace tavren {

struct VstiHost;

struct WindowRequest {
    int32_t x = 0;
    int32_t y = 0;
    WNDPROC windowProc = nullptr;
    void* createParam = nullptr;
};

constexpr size_t kWindowClassChars = 256;

HWND CreateHostWindow(HWND parent, WNDPROC windowProc, int x, int y, void* createParam);
void DestroyHostWindow(HWND window);

void SendCreateWindow(VstiHost* host, int x, int y, WNDPROC windowProc, void* createParam);
void SendDestroyWindow(VstiHost* host, HWND window);

}  // namespace tavren
