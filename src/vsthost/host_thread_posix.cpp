// The host thread of the native build: no windows, a request queue of our
// own with the same contract as the Windows messages. Requests live on the
// sender's stack and run one after another on the host thread; a request
// made on the host thread runs at once.
//
// The render path sends a few requests per block, so the round trip is
// built for speed: both sides spin briefly on an atomic before sleeping on
// a futex, and a request that finds the host thread awake costs no system
// call at all.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "frame/instance_cache.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren {

namespace {

// A moment of busy waiting, then giving the core away (on a loaded machine
// the other side may need this very core), and only then sleeping: waking a
// sleeper costs more than the whole round trip. Measured on a loaded 2-core
// machine, pure spinning lost to a mutex and condition variable; this did not.
constexpr int kSpinIterations = 50;
constexpr int kYieldIterations = 200;

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

// True as soon as ready() holds, false when it still does not after spinning and yielding.
template <typename Ready>
bool WaitBriefly(Ready ready) {
    for (int i = 0; i < kSpinIterations; ++i) {
        if (ready()) return true;
        CpuRelax();
    }
    for (int i = 0; i < kYieldIterations; ++i) {
        if (ready()) return true;
        std::this_thread::yield();
    }
    return ready();
}

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex word");

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

enum RequestState : uint32_t { kPending, kSenderSleeping, kDone };

struct Request {
    void (*run)(VstiHost* host, void* arg) = nullptr;
    void* arg = nullptr;
    Request* next = nullptr;
    std::atomic<uint32_t> state{kPending};
};

enum class StartState { Starting, Ready, Ended };

// What VstiHost::thread points to natively.
struct NativeHostThread {
    std::thread thread;

    std::mutex queueLock;
    Request* head = nullptr;  // [queueLock]
    Request* tail = nullptr;  // [queueLock]
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
    if (native->sleeping.load()) FutexWake(&native->signal);
}

// [any thread] Queues the request; false when the host thread no longer takes any.
bool Enqueue(NativeHostThread* native, Request* request) {
    {
        std::lock_guard<std::mutex> lock(native->queueLock);
        if (native->closed) return false;
        if (native->tail)
            native->tail->next = request;
        else
            native->head = request;
        native->tail = request;
    }
    WakeHostThread(native);
    return true;
}

void WaitUntilDone(Request* request) {
    if (WaitBriefly([request] { return request->state.load(std::memory_order_acquire) == kDone; })) return;
    uint32_t expected = kPending;
    if (!request->state.compare_exchange_strong(expected, kSenderSleeping)) return;  // done meanwhile
    while (request->state.load(std::memory_order_acquire) != kDone) FutexWait(&request->state, kSenderSleeping);
}

// [any thread] Runs run(host, arg) on the host thread and returns when it has.
// A host thread that has ended runs nothing, as a destroyed window would.
void RunOnHost(VstiHost* host, void (*run)(VstiHost*, void*), void* arg) {
    if (!host || !host->thread) return;
    if (OnHostThread(host)) {
        run(host, arg);
        return;
    }
    Request request;
    request.run = run;
    request.arg = arg;
    if (Enqueue(Native(host), &request)) WaitUntilDone(&request);
}

Request* TakeAll(NativeHostThread* native) {
    std::lock_guard<std::mutex> lock(native->queueLock);
    Request* all = native->head;
    native->head = native->tail = nullptr;
    return all;
}

void RunRequests(VstiHost* host, Request* request) {
    while (request) {
        Request* next = request->next;  // the sender may leave once it sees kDone
        request->run(host, request->arg);
        // After the exchange the record may be gone; the wake only uses its address.
        if (request->state.exchange(kDone) == kSenderSleeping) FutexWake(&request->state);
        request = next;
    }
}

void WaitForSignal(NativeHostThread* native, uint32_t seen) {
    if (WaitBriefly([native, seen] { return native->signal.load(std::memory_order_acquire) != seen; })) return;
    // Sleeping is announced before the last look, so a sender either sees it
    // and wakes us, or bumped signal before that look.
    native->sleeping.store(1);
    if (native->signal.load() == seen) FutexWait(&native->signal, seen);
    native->sleeping.store(0);
}

void RunLoop(VstiHost* host, NativeHostThread* native) {
    for (;;) {
        const uint32_t seen = native->signal.load(std::memory_order_acquire);
        if (Request* batch = TakeAll(native)) {
            RunRequests(host, batch);
            continue;
        }
        // The queue is drained before the stop takes effect, so no sender is left waiting.
        if (native->stopRequested.load(std::memory_order_acquire)) break;
        WaitForSignal(native, seen);
    }
    Request* late = nullptr;
    {
        std::lock_guard<std::mutex> lock(native->queueLock);
        native->closed = true;
        late = native->head;
        native->head = native->tail = nullptr;
    }
    RunRequests(host, late);
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

void OnDispatch(VstiHost*, void* arg) {
    auto* call = static_cast<std::pair<vst2::AEffect*, DispatchRequest*>*>(arg);
    call->second->result = RunDispatch(call->first, *call->second);
}

void OnProcess(VstiHost*, void* arg) {
    auto* call = static_cast<std::pair<vst2::AEffect*, ProcessRequest*>*>(arg);
    RunProcess(call->first, *call->second);
}

void OnOpenEffect(VstiHost* host, void* arg) { *static_cast<vst2::AEffect**>(arg) = OpenEffect(host->entryPoint); }

void OnCloseEffect(VstiHost*, void* arg) { RunCloseEffect(static_cast<vst2::AEffect*>(arg)); }

}  // namespace

bool OnHostThread(const VstiHost* host) { return host && platform::CurrentThreadId() == host->threadId; }

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
    if (!host) return;
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
    vst2::AEffect* effect = nullptr;
    RunOnHost(host, OnOpenEffect, &effect);
    return effect;
}

void CloseEffectOnHost(VstiHost* host, vst2::AEffect* effect) {
    if (effect) RunOnHost(host, OnCloseEffect, effect);
}

}  // namespace tavren
