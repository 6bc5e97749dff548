// How many times slower than native this machine runs the test program:
// where 32-bit code runs through an emulator the scripts export
// TAVREN_TIME_SCALE=10 (Wine passes it on to Windows programs). Wall-clock
// bounds in tests are native figures multiplied by it; it never shortens one.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace tavren::test {

inline double TimeScale() {
    const char* text = std::getenv("TAVREN_TIME_SCALE");
    if (!text) return 1.0;
    char* end = nullptr;
    double scale = std::strtod(text, &end);
    if (end == text || *end || !(scale >= 1.0)) return 1.0;
    return scale > 100.0 ? 100.0 : scale;
}

inline uint32_t ScaledMs(uint32_t nativeMs) { return static_cast<uint32_t>(nativeMs * TimeScale()); }

}  // namespace tavren::test
