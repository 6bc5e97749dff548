// Futex waits: private to the process, no system call on a wake nobody waits for.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/word_wait.h"

namespace tavren::platform {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex word");

void WaitOnWord(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMicroseconds) {
    timespec timeout{};
    timeout.tv_sec = timeoutMicroseconds / 1000000;
    timeout.tv_nsec = static_cast<long>(timeoutMicroseconds % 1000000) * 1000;
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected,
            timeoutMicroseconds == kWaitForever ? nullptr : &timeout, nullptr, 0);
}

void WakeWord(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

uint64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace tavren::platform
