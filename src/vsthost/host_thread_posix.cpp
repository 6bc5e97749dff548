// The host thread of the native build: no windows, a queue of host calls
// with the same contract as the Windows messages. Calls are owned by their
// senders and run one after another on the host thread; a call made on the
// host thread runs at once.
//
// The render path posts one call per block, usually while the host thread
// still renders the one before, so the host thread finds it without
// sleeping. Waiting is a short spin and then a futex: spinning through a
// whole block would burn a second core for nothing.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "frame/instance_cache.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/word_wait.h"
#include "vsthost/block_request.h"
#include "vsthost/host_call.h"
#include "vsthost/host_start.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"
#include "vsthost/remote_host.h"

namespace tavren {

namespace {

// A moment of busy waiting, then sleeping: a wait shorter than this is a
// request found already answered or just being answered; anything longer
// is a block being rendered, worth a sleep.
constexpr int kSpinIterations = 100;

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

// True as soon as ready() holds, false when it still does not after spinning.
template <typename Ready>
bool WaitBriefly(Ready ready) {
    for (int i = 0; i < kSpinIterations; ++i) {
        if (ready()) return true;
        CpuRelax();
    }
    return ready();
}

enum class StartState { Starting, Ready, Ended };

// What VstiHost::thread points to natively.
struct NativeHostThread {
    std::thread thread;

    std::mutex queueLock;
    HostCall* head = nullptr;  // [queueLock]
    HostCall* tail = nullptr;  // [queueLock]
    bool closed = false;      // [queueLock] the loop has ended: requests are refused

    std::atomic<uint32_t> signal{0};    // bumped for every request and for the stop
    std::atomic<uint32_t> sleeping{0};  // the host thread sleeps on signal
    std::atomic<bool> stopRequested{false};

    std::mutex startLock;
    std::condition_variable startChanged;
    StartState startState = StartState::Starting;  // [startLock]
};

NativeHostThread* Native(const VstiHost* host) { return static_cast<NativeHostThread*>(host->thread); }

void SetStartState(NativeHostThread* native, StartState state) {
    std::lock_guard<std::mutex> lock(native->startLock);
    native->startState = state;
    native->startChanged.notify_all();
}

StartState WaitUntilStarted(NativeHostThread* native) {
    std::unique_lock<std::mutex> lock(native->startLock);
    native->startChanged.wait(lock, [native] { return native->startState != StartState::Starting; });
    return native->startState;
}

void WakeHostThread(NativeHostThread* native) {
    native->signal.fetch_add(1);
    if (native->sleeping.load()) platform::WakeWord(&native->signal);
}

// [any thread] Queues the call; false when the host thread no longer takes any.
bool Enqueue(NativeHostThread* native, HostCall* call) {
    {
        std::lock_guard<std::mutex> lock(native->queueLock);
        if (native->closed) return false;
        call->next = nullptr;
        if (native->tail)
            native->tail->next = call;
        else
            native->head = call;
        native->tail = call;
    }
    WakeHostThread(native);
    return true;
}

// [any thread] Runs run(host, arg) on the host thread and returns when it has.
// A host thread that has ended runs nothing, as a destroyed window would.
void RunOnHost(VstiHost* host, void (*run)(VstiHost*, void*), void* arg) {
    if (!host || !host->thread) return;
    HostCall call;
    call.run = run;
    call.arg = arg;
    PostCall(host, &call);
    WaitCall(&call);
}

HostCall* TakeAll(NativeHostThread* native) {
    std::lock_guard<std::mutex> lock(native->queueLock);
    HostCall* all = native->head;
    native->head = native->tail = nullptr;
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

void WaitForSignal(NativeHostThread* native, uint32_t seen) {
    if (WaitBriefly([native, seen] { return native->signal.load(std::memory_order_acquire) != seen; })) return;
    // Sleeping is announced before the last look, so a sender either sees it
    // and wakes us, or bumped signal before that look.
    native->sleeping.store(1);
    if (native->signal.load() == seen) platform::WaitOnWord(&native->signal, seen, platform::kWaitForever);
    native->sleeping.store(0);
}

void RunLoop(VstiHost* host, NativeHostThread* native) {
    for (;;) {
        const uint32_t seen = native->signal.load(std::memory_order_acquire);
        if (HostCall* batch = TakeAll(native)) {
            RunCalls(host, batch);
            continue;
        }
        // The queue is drained before the stop takes effect, so no sender is left waiting.
        if (native->stopRequested.load(std::memory_order_acquire)) break;
        WaitForSignal(native, seen);
    }
    HostCall* late = nullptr;
    {
        std::lock_guard<std::mutex> lock(native->queueLock);
        native->closed = true;
        late = native->head;
        native->head = native->tail = nullptr;
    }
    RunCalls(host, late);
}

vst2::EntryProc FindEntryPoint(void* library) {
    void* entry = platform::LibrarySymbol(library, "VSTPluginMain");
    if (!entry) entry = platform::LibrarySymbol(library, "main");  // the name older instruments export
    return reinterpret_cast<vst2::EntryProc>(entry);
}

void HostThreadMain(VstiHost* host, NativeHostThread* native) {
    host->threadId = platform::CurrentThreadId();
    void* library = platform::LoadLibraryFile(host->path);
    vst2::EntryProc entry = library ? FindEntryPoint(library) : nullptr;
    if (!entry) {
        platform::FreeLibraryFile(library);
        SetStartState(native, StartState::Ended);
        return;
    }
    host->library = library;
    host->entryPoint = entry;
    SetStartState(native, StartState::Ready);

    RunLoop(host, native);

    host->entryPoint = nullptr;
    platform::FreeLibraryFile(library);
    host->library = nullptr;
}

void OnDispatch(VstiHost* host, void* arg) {
    auto* call = static_cast<std::pair<vst2::AEffect*, DispatchRequest*>*>(arg);
    call->second->result = RunDispatch(host, call->first, *call->second);
}

void OnProcess(VstiHost* host, void* arg) {
    auto* call = static_cast<std::pair<vst2::AEffect*, ProcessRequest*>*>(arg);
    RunProcess(host, call->first, *call->second);
}

void OnOpenEffect(VstiHost* host, void* arg) { *static_cast<vst2::AEffect**>(arg) = OpenEffect(host); }

void OnCloseEffect(VstiHost* host, void* arg) { RunCloseEffect(host, static_cast<vst2::AEffect*>(arg)); }

}  // namespace

void PumpHostMessages(VstiHost*) {}  // no windows natively

bool OnHostThread(const VstiHost* host) { return host && platform::CurrentThreadId() == host->threadId; }

void PostCall(VstiHost* host, HostCall* call) {
    call->state.store(kCallQueued, std::memory_order_relaxed);
    if (host && host->thread && OnHostThread(host)) {
        call->run(host, call->arg);
        call->state.store(kCallDone, std::memory_order_release);
        return;
    }
    if (!host || !host->thread || !Enqueue(Native(host), call)) call->state.store(kCallDone, std::memory_order_release);
}


void RunOnHostThread(VstiHost* host, void (*fn)(void*), void* arg) {
    struct Call {
        void (*fn)(void*);
        void* arg;
    } call{fn, arg};
    RunOnHost(host, [](VstiHost*, void* p) { static_cast<Call*>(p)->fn(static_cast<Call*>(p)->arg); }, &call);
}

VstiHost* StartHost(const char16_t* path) {
    auto* host = new (std::nothrow) VstiHost();
    if (!host) return nullptr;
    CopyText(host->path, sizeof(host->path) / sizeof(host->path[0]), path);
    auto* native = new (std::nothrow) NativeHostThread();
    if (!native) {
        delete host;
        return nullptr;
    }
    try {
        native->thread = std::thread(HostThreadMain, host, native);
    } catch (const std::exception&) {
        delete native;
        delete host;
        return nullptr;
    }
    host->thread = native;
    if (WaitUntilStarted(native) != StartState::Ready) {
        StopHost(host);
        return nullptr;
    }
    return host;
}

void StopHost(VstiHost* host) {
    if (!host || StopRemoteVstiHost(host)) return;
    FlushCache(host);  // while the thread still runs: effClose needs it
    if (NativeHostThread* native = Native(host)) {
        native->stopRequested.store(true, std::memory_order_release);
        WakeHostThread(native);
        native->thread.join();
        delete native;
    }
    delete host;
}

void SendDispatch(VstiHost* host, vst2::AEffect* effect, DispatchRequest* request) {
    std::pair<vst2::AEffect*, DispatchRequest*> call{effect, request};
    RunOnHost(host, OnDispatch, &call);
}

void SendProcess(VstiHost* host, vst2::AEffect* effect, ProcessRequest* request) {
    std::pair<vst2::AEffect*, ProcessRequest*> call{effect, request};
    RunOnHost(host, OnProcess, &call);
}

vst2::AEffect* OpenEffectOnHost(VstiHost* host) {
    if (host->remote) return RemoteOpenEffect(host->remote);
    vst2::AEffect* effect = nullptr;
    RunOnHost(host, OnOpenEffect, &effect);
    return effect;
}

void CloseEffectOnHost(VstiHost* host, vst2::AEffect* effect) {
    if (host->remote) return RemoteCloseEffect(host->remote, effect);
    if (effect) RunOnHost(host, OnCloseEffect, effect);
}

}  // namespace tavren
