// Where 32-bit code runs through the emulator (scripts/i386-exec.sh), a
// processor fault reaches the Windows program with a wrong code: a write
// through null arrives as an illegal instruction, an integer division by
// zero as a floating-point fault. Tests check the code of such a fault only
// where the processor itself raised it; codes raised by software are exact
// everywhere.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tavren::test {

inline bool FaultCodesExact() {
#if defined(_WIN32) && !defined(_WIN64)
    const char* path = std::getenv("TAVREN_I386_PATH");
    return !(path && std::strcmp(path, "emulated") == 0);
#else
    return true;
#endif
}

// The code a processor fault of kind `code` arrives with here: itself, or
// any code of error severity where the emulator mislabels it.
inline bool IsFaultCode(uint32_t seen, uint32_t code) {
    return FaultCodesExact() ? seen == code : (seen & 0xC0000000u) == 0xC0000000u;
}

}  // namespace tavren::test
