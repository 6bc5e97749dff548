// Waiting for a host call and answering it: the same on every platform,
// over the word waits of the platform layer. Only queueing a call for the
// host thread is each platform's own.
#include "vsthost/host_call.h"

#include "platform/word_wait.h"

namespace tavren {

namespace {

// A moment of busy waiting before sleeping: a call answered within it costs
// no system call on either side; anything longer is a block being rendered,
// and spinning through it would burn a second core for nothing.
constexpr int kSpinIterations = 100;

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

bool Answered(const HostCall* call) {
    const uint32_t state = call->state.load(std::memory_order_acquire);
    return state == kCallDone || state == kCallIdle;
}

}  // namespace

void WaitCall(HostCall* call) {
    for (int i = 0; i < kSpinIterations; ++i) {
        if (Answered(call)) return;
        CpuRelax();
    }
    uint32_t expected = kCallQueued;
    if (!call->state.compare_exchange_strong(expected, kCallSleeping)) return;  // answered meanwhile
    while (call->state.load(std::memory_order_acquire) == kCallSleeping)
        platform::WaitOnWord(&call->state, kCallSleeping, platform::kWaitForever);
}

void AnswerCall(HostCall* call) {
    // After the exchange the record may be gone; the wake only uses its address.
    if (call->state.exchange(kCallDone, std::memory_order_acq_rel) == kCallSleeping) platform::WakeWord(&call->state);
}

}  // namespace tavren
