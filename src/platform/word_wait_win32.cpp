// The waits behind WaitOnAddress where the system has them (Windows 8 and
// later, and Wine, where they are futexes and never a round trip to the
// server): ntdll's own entry points, whose timeout is finer than a
// millisecond. A short sleep loop on older systems.
#include <windows.h>

#include "platform/word_wait.h"

namespace tavren::platform {

namespace {

using WaitOnAddressProc = LONG(NTAPI*)(const void* address, const void* compare, SIZE_T size,
                                       const LARGE_INTEGER* timeout);
using WakeByAddressProc = VOID(NTAPI*)(const void* address);

struct AddressWaits {
    WaitOnAddressProc wait = nullptr;
    WakeByAddressProc wake = nullptr;
    AddressWaits() {
        // Looked up, not imported: the plug-in must still load where they are missing.
        if (HMODULE library = GetModuleHandleW(L"ntdll.dll")) {
            wait = reinterpret_cast<WaitOnAddressProc>(
                reinterpret_cast<void*>(GetProcAddress(library, "RtlWaitOnAddress")));
            wake = reinterpret_cast<WakeByAddressProc>(
                reinterpret_cast<void*>(GetProcAddress(library, "RtlWakeAddressSingle")));
        }
        if (!wait || !wake) wait = nullptr, wake = nullptr;
    }
};

const AddressWaits& Waits() {
    static const AddressWaits waits;
    return waits;
}

}  // namespace

void WaitOnWord(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMicroseconds) {
    if (const auto wait = Waits().wait) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = -static_cast<LONGLONG>(timeoutMicroseconds) * 10;  // relative, in 100 ns
        wait(word, &expected, sizeof expected, timeoutMicroseconds == kWaitForever ? nullptr : &timeout);
        return;
    }
    const DWORD milliseconds = timeoutMicroseconds == kWaitForever ? 1 : (timeoutMicroseconds + 999) / 1000;
    Sleep(milliseconds);
}

void WakeWord(std::atomic<uint32_t>* word) {
    if (const auto wake = Waits().wake) wake(word);
}

uint64_t MonotonicMicroseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>(now.QuadPart / frequency.QuadPart) * 1000000u +
           static_cast<uint64_t>(now.QuadPart % frequency.QuadPart) * 1000000u / static_cast<uint64_t>(frequency.QuadPart);
}

}  // namespace tavren::platform
