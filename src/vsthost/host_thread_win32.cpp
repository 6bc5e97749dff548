// The host thread of the Windows build: a message loop around a hidden
// window; other threads reach it with synchronous VHM_* messages, so the
// thread's message queue serialises every call into the instrument. Blocks
// come by a cheaper road: a queue of host calls the thread serves between
// its messages, signalled through a word in memory while blocks stream (a
// window message costs a round trip to the window server per send under
// Wine, and so does every event set or message peeked).
#include <windows.h>
#include <process.h>

#include <atomic>
#include <new>

#include "config/format_key.h"
#include "frame/instance_cache.h"
#include "platform/text.h"
#include "platform/word_wait.h"
#include "vsthost/host_call.h"
#include "vsthost/host_start.h"
#include "vsthost/host_thread.h"
#include "vsthost/host_window.h"
#include "vsthost/instance.h"
#include "vsthost/remote_host.h"

namespace tavren {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

HWND HostWindow(const VstiHost* host) { return static_cast<HWND>(host->window); }

void OnDispatch(VstiHost* host, WPARAM wParam, LPARAM lParam) {
    auto* request = reinterpret_cast<DispatchRequest*>(lParam);
    request->result = RunDispatch(host, reinterpret_cast<vst2::AEffect*>(wParam), *request);
}

void OnProcess(VstiHost* host, WPARAM wParam, LPARAM lParam) {
    RunProcess(host, reinterpret_cast<vst2::AEffect*>(wParam), *reinterpret_cast<const ProcessRequest*>(lParam));
}

void OnCreateWindow(VstiHost* host, LPARAM lParam) {
    const auto* request = reinterpret_cast<const WindowRequest*>(lParam);
    HWND window = CreateHostWindow(HostWindow(host), request->windowProc, request->x, request->y, request->createParam);
    if (window) ShowWindow(window, SW_SHOWNOACTIVATE);
}

void OnOpenEffect(VstiHost* host, WPARAM wParam) {
    *reinterpret_cast<vst2::AEffect**>(wParam) = OpenEffect(host);
}

void OnCloseEffect(VstiHost* host, WPARAM wParam) { RunCloseEffect(host, reinterpret_cast<vst2::AEffect*>(wParam)); }

void OnDestroy(VstiHost* host) {
    host->entryPoint = nullptr;
    host->window = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    VstiHost* host;
    if (message == WM_CREATE) {
        host = static_cast<VstiHost*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (host) {
            host->window = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
        }
    } else {
        host = reinterpret_cast<VstiHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!host || HostWindow(host) != window) return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
        case VHM_DISPATCH: OnDispatch(host, wParam, lParam); return 0;
        case VHM_PROCESS: OnProcess(host, wParam, lParam); return 0;
        case VHM_CREATE_WINDOW: OnCreateWindow(host, lParam); return 0;
        case VHM_DESTROY_WINDOW: DestroyHostWindow(reinterpret_cast<HWND>(lParam)); return 0;
        case VHM_OPEN_EFFECT: OnOpenEffect(host, wParam); return 0;
        case VHM_CLOSE_EFFECT: OnCloseEffect(host, wParam); return 0;
        case VHM_CALL: reinterpret_cast<void (*)(void*)>(wParam)(reinterpret_cast<void*>(lParam)); return 0;
        case WM_DESTROY: OnDestroy(host); break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

vst2::EntryProc FindEntryPoint(HMODULE library) {
    FARPROC entry = GetProcAddress(library, "VSTPluginMain");
    if (!entry) entry = GetProcAddress(library, "main");  // the name older instruments export
    return reinterpret_cast<vst2::EntryProc>(reinterpret_cast<void*>(entry));
}

// How long the thread waits on its word for the next call after one was
// served (the next block of a seek or of a song's tail follows within
// microseconds) before it waits for messages too.
constexpr uint32_t kNextCallWaitMicros = 2000;

enum QueueMode : uint32_t { kAwake, kOnWord, kOnMessages };

struct CallQueue {
    CRITICAL_SECTION lock;
    HostCall* head = nullptr;  // [lock]
    HostCall* tail = nullptr;  // [lock]
    bool closed = false;       // [lock] the loop has ended: calls are answered unrun
    std::atomic<uint32_t> signal{0};  // bumped for every call and for the stop
    std::atomic<uint32_t> mode{kAwake};
    std::atomic<bool> stopRequested{false};
    HANDLE callEvent = nullptr;  // wakes the thread from its wait for messages
};

CallQueue* Queue(const VstiHost* host) { return static_cast<CallQueue*>(host->callQueue); }

CallQueue* MakeQueue() {
    auto* queue = new (std::nothrow) CallQueue();
    if (!queue) return nullptr;
    queue->callEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!queue->callEvent) {
        delete queue;
        return nullptr;
    }
    InitializeCriticalSection(&queue->lock);
    return queue;
}

void FreeQueue(CallQueue* queue) {
    if (!queue) return;
    DeleteCriticalSection(&queue->lock);
    CloseHandle(queue->callEvent);
    delete queue;
}

void WakeQueue(CallQueue* queue) {
    queue->signal.fetch_add(1);
    // The thread announces its wait before its last look at the signal, so
    // either it sees the bump or this sees its mode.
    switch (queue->mode.load()) {
        case kOnWord: platform::WakeWord(&queue->signal); break;
        case kOnMessages: SetEvent(queue->callEvent); break;
        default: break;
    }
}

HostCall* TakeCalls(CallQueue* queue, bool close) {
    EnterCriticalSection(&queue->lock);
    HostCall* all = queue->head;
    queue->head = queue->tail = nullptr;
    if (close) queue->closed = true;
    LeaveCriticalSection(&queue->lock);
    return all;
}

void RunCalls(VstiHost* host, HostCall* call) {
    while (call) {
        HostCall* next = call->next;  // the sender may leave once it sees the answer
        call->run(host, call->arg);
        AnswerCall(call);
        call = next;
    }
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Waits for the next call on the word; true when one came in time.
bool WaitForCall(CallQueue* queue, uint32_t seen) {
    queue->mode.store(kOnWord);
    if (queue->signal.load() == seen) platform::WaitOnWord(&queue->signal, seen, kNextCallWaitMicros);
    queue->mode.store(kAwake);
    return queue->signal.load() != seen;
}

// Waits for a message, a call or the stop; true on the stop.
bool WaitForMessageOrCall(CallQueue* queue, HANDLE stopEvent, uint32_t seen) {
    HANDLE handles[2] = {stopEvent, queue->callEvent};
    queue->mode.store(kOnMessages);
    DWORD wait = WAIT_OBJECT_0 + 1;
    if (queue->signal.load() == seen && !queue->stopRequested.load())
        wait = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_ALLINPUT);
    queue->mode.store(kAwake);
    return wait == WAIT_OBJECT_0 || queue->stopRequested.load();
}

void RunMessageLoop(VstiHost* host, HANDLE stopEvent) {
    CallQueue* queue = Queue(host);
    uint64_t lastPump = 0;
    bool callsFlowing = false;
    for (;;) {
        const uint32_t seen = queue->signal.load();
        if (HostCall* calls = TakeCalls(queue, false)) {
            RunCalls(host, calls);
            callsFlowing = true;
            const uint64_t now = platform::MonotonicMicroseconds();
            if (now - lastPump >= kPumpIntervalMicros) {
                PumpMessages();
                lastPump = now;
            }
            continue;
        }
        if (queue->stopRequested.load()) break;
        // Right after a call the next one usually follows at once: waiting on
        // the word costs no round trip. Else wait for messages as well.
        if (callsFlowing && WaitForCall(queue, seen)) continue;
        callsFlowing = false;
        PumpMessages();
        const bool stop = WaitForMessageOrCall(queue, stopEvent, seen);
        PumpMessages();
        lastPump = platform::MonotonicMicroseconds();
        if (stop) break;
    }
    // Drained once more after the stop, so no sender is left waiting.
    PumpMessages();
    RunCalls(host, TakeCalls(queue, true));
}

// Stack kept below a stack overflow for the guard's handler to unwind from it.
constexpr ULONG kStackGuaranteeBytes = 64 * 1024;

unsigned __stdcall HostThreadMain(void* param) {
    auto* host = static_cast<VstiHost*>(param);
    ULONG guarantee = kStackGuaranteeBytes;
    SetThreadStackGuarantee(&guarantee);
    // A library on a missing drive must fail quietly, not ask the user.
    UINT savedMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE library = LoadLibraryExW(W(host->path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(savedMode);
    if (!library) return 0;
    host->library = library;

    host->entryPoint = FindEntryPoint(library);
    if (!host->entryPoint) {
        FreeLibrary(library);
        host->library = nullptr;
        return 0;
    }

    CreateHostWindow(nullptr, HostWindowProc, 0, 0, host);  // sets host->window on WM_CREATE
    SetEvent(host->readyEvent);
    RunMessageLoop(host, host->stopEvent);

    if (HWND window = HostWindow(host)) DestroyHostWindow(window);
    // A library that faulted may have left threads, hooks or windows of its
    // own running its code: it stays loaded.
    if (!host->faulted.load()) FreeLibrary(library);
    host->library = nullptr;
    return 0;
}

}  // namespace

HWND CreateHostWindow(HWND parent, WNDPROC windowProc, int x, int y, void* createParam) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    char16_t className[kWindowClassChars];
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    FormatKey(className, kWindowClassChars, u"tavren.hmx:%08x:%016llx", GetCurrentThreadId(),
              static_cast<unsigned long long>(now.QuadPart));

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = W(className);
    RegisterClassExW(&windowClass);
    return CreateWindowExW(WS_EX_DLGMODALFRAME, W(className), L"", WS_CAPTION | WS_SYSMENU, x, y, 0, 0, parent,
                           nullptr, instance, createParam);
}

void DestroyHostWindow(HWND window) {
    wchar_t className[kWindowClassChars] = {};
    GetClassNameW(window, className, static_cast<int>(kWindowClassChars));
    DestroyWindow(window);
    UnregisterClassW(className, GetModuleHandleW(nullptr));
}

void SendCreateWindow(VstiHost* host, int x, int y, WNDPROC windowProc, void* createParam) {
    WindowRequest request;
    request.x = x;
    request.y = y;
    request.windowProc = windowProc;
    request.createParam = createParam;
    SendMessageW(HostWindow(host), VHM_CREATE_WINDOW, 0, reinterpret_cast<LPARAM>(&request));
}

void SendDestroyWindow(VstiHost* host, HWND window) {
    SendMessageW(HostWindow(host), VHM_DESTROY_WINDOW, 0, reinterpret_cast<LPARAM>(window));
}

void PumpHostMessages(VstiHost*) { PumpMessages(); }

bool OnHostThread(const VstiHost* host) { return host && GetCurrentThreadId() == host->threadId; }

void PostCall(VstiHost* host, HostCall* call) {
    call->state.store(kCallQueued, std::memory_order_relaxed);
    if (OnHostThread(host)) {
        call->run(host, call->arg);
        call->state.store(kCallDone, std::memory_order_release);
        return;
    }
    CallQueue* queue = host && host->thread ? Queue(host) : nullptr;
    bool queued = false;
    if (queue) {
        EnterCriticalSection(&queue->lock);
        if (!queue->closed) {
            call->next = nullptr;
            if (queue->tail)
                queue->tail->next = call;
            else
                queue->head = call;
            queue->tail = call;
            queued = true;
        }
        LeaveCriticalSection(&queue->lock);
    }
    if (queued)
        WakeQueue(queue);
    else
        call->state.store(kCallDone, std::memory_order_release);  // a host thread gone runs nothing
}

void RunOnHostThread(VstiHost* host, void (*fn)(void*), void* arg) {
    // On the host thread SendMessageW calls the procedure directly.
    SendMessageW(HostWindow(host), VHM_CALL, reinterpret_cast<WPARAM>(fn), reinterpret_cast<LPARAM>(arg));
}

VstiHost* StartHost(const char16_t* path) {
    auto* host = new (std::nothrow) VstiHost();
    if (!host) return nullptr;
    CopyText(host->path, sizeof(host->path) / sizeof(host->path[0]), path);
    host->readyEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    host->stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    host->callQueue = MakeQueue();
    if (!host->readyEvent || !host->stopEvent || !host->callQueue) {
        StopHost(host);
        return nullptr;
    }
    unsigned threadId = 0;
    host->thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, HostThreadMain, host, 0, &threadId));
    if (!host->thread) {
        StopHost(host);
        return nullptr;
    }
    host->threadId = threadId;

    // Ready, or ended without getting there (no library, no entry point).
    HANDLE waitFor[2] = {host->readyEvent, host->thread};
    if (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) != WAIT_OBJECT_0) {
        StopHost(host);
        return nullptr;
    }
    CloseHandle(host->readyEvent);
    host->readyEvent = nullptr;
    return host;
}

void StopHost(VstiHost* host) {
    if (!host || StopRemoteVstiHost(host)) return;
    FlushCache(host);  // while the thread still runs: effClose needs it
    if (host->thread) {
        Queue(host)->stopRequested.store(true);
        WakeQueue(Queue(host));
        PostThreadMessageW(host->threadId, WM_QUIT, 0, 0);
        SetEvent(host->stopEvent);
        WaitForSingleObject(host->thread, INFINITE);
        CloseHandle(host->thread);
    }
    if (host->readyEvent) CloseHandle(host->readyEvent);
    if (host->stopEvent) CloseHandle(host->stopEvent);
    FreeQueue(Queue(host));
    delete host;
}

void SendDispatch(VstiHost* host, vst2::AEffect* effect, DispatchRequest* request) {
    SendMessageW(HostWindow(host), VHM_DISPATCH, reinterpret_cast<WPARAM>(effect), reinterpret_cast<LPARAM>(request));
}

void SendProcess(VstiHost* host, vst2::AEffect* effect, ProcessRequest* request) {
    SendMessageW(HostWindow(host), VHM_PROCESS, reinterpret_cast<WPARAM>(effect), reinterpret_cast<LPARAM>(request));
}

vst2::AEffect* OpenEffectOnHost(VstiHost* host) {
    if (host->remote) return RemoteOpenEffect(host->remote);
    vst2::AEffect* effect = nullptr;
    SendMessageW(HostWindow(host), VHM_OPEN_EFFECT, reinterpret_cast<WPARAM>(&effect), 0);
    return effect;
}

void CloseEffectOnHost(VstiHost* host, vst2::AEffect* effect) {
    if (host->remote) return RemoteCloseEffect(host->remote, effect);
    if (effect) SendMessageW(HostWindow(host), VHM_CLOSE_EFFECT, reinterpret_cast<WPARAM>(effect), 0);
}

}  // namespace tavren
