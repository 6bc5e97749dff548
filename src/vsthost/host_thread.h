// The host thread: one per loaded instrument library. It owns the library,
// a hidden window (Windows build) and every window of the instrument, and
// runs every dispatcher call, every process call and every host callback.
// Other threads reach it by synchronous requests executed in order; a call
// made on the host thread itself goes straight to the instrument.
// The Windows build (host_thread_win32.cpp) uses a hidden window and the
// VHM_* messages; the native build (host_thread_posix.cpp) its own queue.
#pragma once

#include <atomic>
#include <cstdint>

#include "vsthost/vst2.h"

namespace tavren {

struct VstiInstance;
struct RemoteHost;

constexpr int kCacheSlotCount = 4;

// Request message ids of the Windows build (WM_APP range).
enum HostMessage : uint32_t {
    VHM_DISPATCH = 0x8000,
    VHM_PROCESS = 0x8001,
    VHM_CREATE_WINDOW = 0x8002,
    VHM_DESTROY_WINDOW = 0x8003,
    VHM_OPEN_EFFECT = 0x8004,
    VHM_CLOSE_EFFECT = 0x8005,
    VHM_CALL = 0x8006,  // wParam: void (*)(void*), lParam: its argument
};

// Request records: the sender keeps them on its stack; the host thread reads
// them (and writes result) while the sender waits.
struct DispatchRequest {
    int32_t opcode = 0;
    int32_t index = 0;
    intptr_t value = 0;
    void* ptr = nullptr;
    float opt = 0.0f;
    intptr_t result = 0;  // 0 until the host thread has run the call
};

struct ProcessRequest {
    void** inputs = nullptr;  // may be null
    void** outputs = nullptr;
    int32_t sampleFrames = 0;
    bool useDouble = false;
};

struct VstiHost;

// [host thread] The calls the requests above stand for, each a guarded call
// into host's instrument (0, or nothing done, once the host has faulted).
intptr_t RunDispatch(VstiHost* host, vst2::AEffect* effect, const DispatchRequest& request);
void RunProcess(VstiHost* host, vst2::AEffect* effect, const ProcessRequest& request);
void RunCloseEffect(VstiHost* host, vst2::AEffect* effect);

// [any thread, platform file] Carries a request to host's thread and waits
// until it has run (VHM_DISPATCH / VHM_PROCESS in the Windows build).
void SendDispatch(VstiHost* host, vst2::AEffect* effect, DispatchRequest* request);
void SendProcess(VstiHost* host, vst2::AEffect* effect, ProcessRequest* request);

struct VstiHost {
    void* library = nullptr;  // the loaded library; null before loading and after teardown
    char16_t path[260] = {};  // at most 259 characters, cut when longer
    uint32_t threadId = 0;
    vst2::EntryProc entryPoint = nullptr;  // cleared when the hidden window goes
    void* window = nullptr;                // hidden window (HWND); unused natively
    void* thread = nullptr;                // thread handle, or the native thread record
    void* readyEvent = nullptr;            // closed and cleared once start-up succeeded; unused natively
    void* stopEvent = nullptr;             // unused natively (the native record has its own stop)
    void* callQueue = nullptr;             // Windows build: the queue of host calls; unused natively
    // Set when the library lives in a host process of its own: every call
    // goes there (remote_host.h), and the fields above stay unused.
    RemoteHost* remote = nullptr;
    VstiInstance* cacheSlots[kCacheSlotCount] = {};  // idle instances
    // Set for good on the host thread when a structured exception escaped a
    // call into the instrument (vsthost/instrument_call.h): nothing calls the
    // library again and it is never unloaded. Read on any thread.
    std::atomic<bool> faulted{false};
    uint32_t faultCode = 0;       // the exception's code, set before faulted
    bool faultedOpening = false;  // the fault came while an effect was being opened
};

// [any thread, holds HostLock] Creates a host for path, starts its thread and
// waits until the library is loaded, its entry point found and the thread
// ready, or the thread has ended. Gives the running host, or null (after a
// full StopHost) when the library could not be loaded or has no entry point.
VstiHost* StartHost(const char16_t* path);

// [any thread] Closes the cached instances while the thread still runs, ends
// the thread (which unloads the library) and frees the host.
void StopHost(VstiHost* host);

// [any thread] The instrument's dispatcher with index 0: directly when called
// on the host thread, else as a synchronous request to it.
intptr_t Dispatch(VstiInstance* instance, int32_t opcode, intptr_t value, void* ptr, float opt);

// [any thread] One block of processing on the host thread (VHM_PROCESS, always
// as a request), with the instance's channel buffers: processDoubleReplacing
// when it was prepared for doubles, else processReplacing.
void ProcessOnHost(VstiInstance* instance, int32_t sampleFrames);

// [any thread] Opens a new effect on the host thread (VHM_OPEN_EFFECT): the entry
// point is called with the host callback and the effect accepted or closed.
// Null when refused.
vst2::AEffect* OpenEffectOnHost(VstiHost* host);

// [any thread] effClose on the host thread (VHM_CLOSE_EFFECT, always as a request).
void CloseEffectOnHost(VstiHost* host, vst2::AEffect* effect);

// [any thread] Runs fn(arg) on host's thread and returns when it has run: at
// once on the host thread, else as a request (VHM_CALL). For state that the
// host thread's windows change at any moment.
void RunOnHostThread(VstiHost* host, void (*fn)(void*), void* arg);

// [host thread] Handles the window messages waiting for the thread (nothing
// natively): a call that runs long lets them through, so editors stay live.
void PumpHostMessages(VstiHost* host);

// How often messages are pumped while calls keep the host thread busy.
constexpr uint64_t kPumpIntervalMicros = 4000;

// [any thread] True when the caller is host's thread.
bool OnHostThread(const VstiHost* host);

}  // namespace tavren
