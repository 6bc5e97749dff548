// The instrument's editor windows (Windows build). Each of the first four
// instances of a song gets a window on the host thread, owned by its hidden
// window; the decoder's thread only sends synchronous create and destroy
// requests, so the windows, their timers and every editor call stay on the
// thread that owns the instrument.
#include <windows.h>

#include "config/editor_pos.h"
#include "config/format_key.h"
#include "platform/platform.h"
#include "vsthost/editor.h"
#include "vsthost/editor_window.h"
#include "vsthost/host_thread.h"
#include "vsthost/host_window.h"
#include "vsthost/instance.h"

namespace tavren {

std::atomic<int32_t> EditorStateTouchedOffHostThread{0};

namespace {

// Before each touch of an instance's editor state.
void CheckHostThread(const VstiInstance* instance) {
    if (!OnHostThread(instance->host)) ++EditorStateTouchedOffHostThread;
}

constexpr UINT_PTR kIdleTimerId = 1;
constexpr UINT kIdleIntervalMs = 10;
// Instruments are known to write past the published 64 characters (300
// bytes without a terminator seen): a roomy buffer, zeroed, cut to 64
// characters when converted.
constexpr size_t kInstrumentTextBytes = 1024;
constexpr size_t kInstrumentTextChars = 65;
constexpr size_t kTitleChars = 512;
constexpr UINT kKeepPlace = SWP_NOZORDER | SWP_NOACTIVATE;

HWND WindowOf(const VstiInstance* instance) { return static_cast<HWND>(instance->editorWindow); }

bool HasEditor(const VstiInstance* instance) { return (instance->effect->flags & vst2::effFlagsHasEditor) != 0; }

// The editor's rectangle (effEditGetRect). The pointer written, not the
// answer, decides: instruments differ in what they return.
bool EditorRect(VstiInstance* instance, vst2::ERect* rect) {
    vst2::ERect* answer = nullptr;
    Dispatch(instance, vst2::effEditGetRect, 0, &answer, 0.0f);
    if (!answer) return false;
    *rect = *answer;
    return true;
}

// Caption and frame: window size minus client size (0 x 0 without a window).
SIZE NonClientSize(HWND window) {
    RECT outer = {}, client = {};
    if (!window || !GetWindowRect(window, &outer) || !GetClientRect(window, &client)) return {0, 0};
    return {(outer.right - outer.left) - (client.right - client.left),
            (outer.bottom - outer.top) - (client.bottom - client.top)};
}

// A rectangle whose right or bottom lies before its left or top counts as
// empty in that direction: no window gets a negative size from it.
GridSize OuterSize(const vst2::ERect& rect, SIZE frame) {
    const int width = rect.right > rect.left ? rect.right - rect.left : 0;
    const int height = rect.bottom > rect.top ? rect.bottom - rect.top : 0;
    return {width + frame.cx, height + frame.cy};
}

void StopIdleTimer(HWND window, VstiInstance* instance) {
    if (!instance->editorTimer) return;
    KillTimer(window, instance->editorTimer);
    instance->editorTimer = 0;
}

// "vendor: product (Port-X)", each name cut to 64 characters.
void SetTitle(HWND window, VstiInstance* instance) {
    char vendor[kInstrumentTextBytes] = {};
    char product[kInstrumentTextBytes] = {};
    Dispatch(instance, vst2::effGetVendorString, 0, vendor, 0.0f);
    Dispatch(instance, vst2::effGetProductString, 0, product, 0.0f);
    vendor[kInstrumentTextBytes - 1] = product[kInstrumentTextBytes - 1] = 0;
    char16_t vendorText[kInstrumentTextChars];
    char16_t productText[kInstrumentTextChars];
    platform::AnsiToWide(vendor, vendorText, kInstrumentTextChars);
    platform::AnsiToWide(product, productText, kInstrumentTextChars);
    char16_t title[kTitleChars];
    FormatKey(title, kTitleChars, u"%s: %s (Port-%c)", vendorText, productText,
              static_cast<char16_t>(u'A' + instance->portIndex));
    SetWindowTextW(window, reinterpret_cast<const wchar_t*>(title));
}

void OnCreate(HWND window, VstiInstance* instance) {
    Dispatch(instance, vst2::effEditOpen, 0, window, 0.0f);
    instance->editorTimer = SetTimer(window, kIdleTimerId, kIdleIntervalMs, nullptr);
    SetTitle(window, instance);
}

void OnSize(HWND window, VstiInstance* instance) {
    vst2::ERect rect = {};
    if (!EditorRect(instance, &rect)) return;  // the window keeps the size the system gave it
    GridSize size = OuterSize(rect, NonClientSize(window));
    SetWindowPos(window, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | kKeepPlace);
}

// The moved window keeps its editor's size, and the siblings' windows follow
// it so that the grid stays whole whichever window the user drags.
void OnWindowPosChanged(HWND window, VstiInstance* instance, const WINDOWPOS& position) {
    instance->windowX = position.x;
    instance->windowY = position.y;
    vst2::ERect rect = {};
    if (!EditorRect(instance, &rect)) return;
    GridSize size = OuterSize(rect, NonClientSize(window));
    SetWindowPos(window, nullptr, instance->windowX, instance->windowY, size.width, size.height, kKeepPlace);
    for (int32_t j = 0; j < kEditorPorts; ++j) {
        if (j == instance->portIndex) continue;
        VstiInstance* sibling = instance->siblings[j];
        if (!sibling) break;
        if (!sibling->editorWindow) continue;
        GridPoint at = EditorGridPosition(instance, instance->windowX, instance->windowY, j);
        SetWindowPos(WindowOf(sibling), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | kKeepPlace);
    }
}

// The user closed the window: it goes as the default procedure would take
// it, and its class with it, which nothing else would unregister.
void OnClose(HWND window, VstiInstance* instance) {
    StopIdleTimer(window, instance);
    DestroyHostWindow(window);
}

void OnDestroy(HWND window, VstiInstance* instance) {
    Dispatch(instance, vst2::effEditClose, 0, nullptr, 0.0f);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    StopIdleTimer(window, instance);
    instance->editorWindow = nullptr;
}

// The instance a message is for: the creation parameter on WM_CREATE (which
// binds window and instance), the window's user data afterwards.
VstiInstance* InstanceOf(HWND window, UINT message, LPARAM lParam) {
    if (message != WM_CREATE) return reinterpret_cast<VstiInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    auto* instance = static_cast<VstiInstance*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (instance) {
        instance->editorWindow = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(instance));
    }
    return instance;
}

}  // namespace

GridPoint EditorGridPosition(VstiInstance* s, int32_t x, int32_t y, int32_t t) {
    CheckHostThread(s);
    if (t == s->portIndex) return {x, y};
    SIZE frame = NonClientSize(WindowOf(s));
    GridSize sizes[3] = {};
    for (int32_t j = 0; j < 3 && s->siblings[j]; ++j) {
        vst2::ERect rect = {};
        if (EditorRect(s->siblings[j], &rect)) sizes[j] = OuterSize(rect, frame);
    }
    return GridCellPosition(sizes, s->portIndex, x, y, t);
}

LRESULT CALLBACK EditorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    VstiInstance* instance = InstanceOf(window, message, lParam);
    if (!instance || WindowOf(instance) != window) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE: OnCreate(window, instance); break;
        case WM_SIZE: OnSize(window, instance); return 0;
        case WM_WINDOWPOSCHANGED:
            OnWindowPosChanged(window, instance, *reinterpret_cast<const WINDOWPOS*>(lParam));
            return 0;  // no WM_SIZE / WM_MOVE from the default procedure
        case WM_TIMER: Dispatch(instance, vst2::effEditIdle, 0, nullptr, 0.0f); return 0;
        case WM_CLOSE: OnClose(window, instance); return 0;
        case WM_DESTROY: OnDestroy(window, instance); break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

namespace {

// What the decoder's thread hands the host thread, and gets back.
struct EditorsRequest {
    const PlaybackState* playback;
    int32_t x, y;  // the first window's position: in for opening, out from closing
};

// [host thread] Window i exists before window i + 1 is placed.
void OpenEditorsOnHost(void* param) {
    auto* request = static_cast<EditorsRequest*>(param);
    const PlaybackState& playback = *request->playback;
    for (int32_t i = 0; i < kEditorPorts; ++i) {
        VstiInstance* instance = playback.instances[i];
        if (instance) CheckHostThread(instance);
        if (!instance || instance->editorWindow || !HasEditor(instance)) continue;
        for (int32_t j = 0; j < kEditorPorts; ++j)
            instance->siblings[j] = j < playback.instanceCount ? playback.instances[j] : nullptr;
        instance->portIndex = i;
        GridPoint at = EditorGridPosition(playback.instances[0], request->x, request->y, i);
        SendCreateWindow(instance->host, at.x, at.y, EditorWindowProc, instance);
    }
}

// [host thread]
void CloseEditorsOnHost(void* param) {
    auto* request = static_cast<EditorsRequest*>(param);
    const PlaybackState& playback = *request->playback;
    for (int32_t k = 0; k < playback.instanceCount; ++k) {
        VstiInstance* instance = playback.instances[k];
        if (instance) CheckHostThread(instance);
        if (instance && instance->editorWindow) DestroyHostWindow(WindowOf(instance));
    }
    VstiInstance* first = playback.instances[0];
    CheckHostThread(first);
    request->x = first->windowX;
    request->y = first->windowY;
}

}  // namespace

// The windows' procedure changes the editor state on the host thread at any
// moment (the user drags or closes a window), so the calling thread only
// asks the host thread to do the work and reads nothing of it itself.
void OpenEditorWindows(const PlaybackState& playback, int32_t x, int32_t y) {
    EditorsRequest request{&playback, x, y};
    if (VstiInstance* first = playback.instances[0]) RunOnHostThread(first->host, OpenEditorsOnHost, &request);
}

void CloseEditorWindows(const PlaybackState& playback, int32_t* x, int32_t* y) {
    EditorsRequest request{&playback, *x, *y};
    if (VstiInstance* first = playback.instances[0]) RunOnHostThread(first->host, CloseEditorsOnHost, &request);
    *x = request.x;
    *y = request.y;
}

}  // namespace tavren
