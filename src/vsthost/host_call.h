// A call carried to the host thread without a window message: the sender
// owns the record, posts it, and later waits until the host thread has run
// it. Calls run in the order they were posted. Each platform file carries
// them its own way (a futex queue natively; on Windows a queue the host
// thread serves between its messages, with waits on the record's address).
#pragma once

#include <atomic>
#include <cstdint>

namespace tavren {

struct VstiHost;

enum HostCallState : uint32_t {
    kCallIdle,      // not posted, or answered and taken back
    kCallQueued,    // posted, not yet answered
    kCallSleeping,  // posted, and its sender sleeps until it is answered
    kCallDone,      // answered
};

struct HostCall {
    void (*run)(VstiHost* host, void* arg) = nullptr;
    void* arg = nullptr;
    HostCall* next = nullptr;  // [carrier] the queue's link
    std::atomic<uint32_t> state{kCallIdle};
};

// [any thread] Queues call for host's thread and returns at once; on the
// host thread itself it runs at once. A host thread that has ended answers
// without running it.
void PostCall(VstiHost* host, HostCall* call);

// [any thread] Returns once a posted call has been answered: a short spin,
// then sleeping. At once for a call never posted.
void WaitCall(HostCall* call);

// [host thread, carrier] Marks call answered and wakes its sender if it sleeps.
void AnswerCall(HostCall* call);

}  // namespace tavren
