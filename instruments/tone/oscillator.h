// Cheap waveform primitives shared by the melodic and drum voices.
// - Sine(phase): sin(2*pi*phase) for any phase in [0, 1), polynomial, error < 0.1%.
// - PolyBlep(t, dt): the correction that makes a hard edge at t = 0 band-limited-ish.
// - Saw/Square/Triangle(phase, dt): one sample of each shape, phase in [0, 1).
// - NoiseSource: a white noise generator in [-1, 1), integer-only so both builds agree.
// All of them are pure arithmetic without library calls, so the 32-bit and the
// native build compute the same doubles.
#pragma once

#include <cmath>
#include <cstdint>

namespace tone {

inline double Wrap(double phase) {
    // Phases stay in [0, 2) between calls; a subtraction is cheaper than floor().
    return phase >= 1.0 ? phase - 1.0 : phase;
}

inline double Sine(double phase) {
    // sin(2*pi*p) = -sin(2*pi*(p - 1/2)): a parabola through the half periods,
    // then one refinement step. Branch-free: a high note would make every
    // comparison here a coin toss for the branch predictor.
    const double x = phase - 0.5;
    const double y = 16.0 * x * std::fabs(x) - 8.0 * x;
    return 0.225 * (y * std::fabs(y) - y) + y;
}

inline double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

inline double Saw(double phase, double dt) { return 2.0 * phase - 1.0 - PolyBlep(phase, dt); }

inline double Square(double phase, double dt, double width) {
    double falling = phase + 1.0 - width;
    if (falling >= 1.0) falling -= 1.0;
    const double naive = phase < width ? 1.0 : -1.0;
    return naive + PolyBlep(phase, dt) - PolyBlep(falling, dt);
}

inline double Triangle(double phase) {
    // Harmonics fall with 1/n^2, so the naive shape aliases little.
    return 1.0 - 4.0 * std::fabs(phase - 0.5);
}

class NoiseSource {
public:
    void Seed(uint32_t seed) { state = seed ? seed : 0x9E3779B9u; }
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(static_cast<int32_t>(state)) * (1.0 / 2147483648.0);
    }

private:
    uint32_t state = 0x9E3779B9u;
};

}  // namespace tone
