// Waiting on a 32-bit word for another thread of this process to change it:
// the cheapest sleep and wake each system has (a futex natively,
// WaitOnAddress on Windows), with no kernel object to create or close.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavren::platform {

constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// [any thread] Sleeps while word holds expected, until WakeWord, the timeout
// (microseconds; kWaitForever for none) or a spurious wake. Callers look at
// the word again afterwards.
void WaitOnWord(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMicroseconds);

// [any thread] Wakes one thread sleeping on word, if any. Only the address
// is used: the word may be gone once a woken sender has seen its answer.
void WakeWord(std::atomic<uint32_t>* word);

// [any thread] Microseconds since an arbitrary start, never going back.
uint64_t MonotonicMicroseconds();

}  // namespace tavren::platform
