#include "envelope.h"

#include <algorithm>
#include <cmath>

namespace tone {

double DecayCoefficient(double seconds, double sampleRate) {
    const double samples = std::max(1.0, seconds * sampleRate);
    return std::exp(std::log(kSilence) / samples);
}

void Envelope::Configure(const EnvelopeShape& shape, double sampleRate) {
    attackStep = 1.0 / (std::max(shape.attack, kMinAttack) * sampleRate);
    decayCoef = DecayCoefficient(shape.decay, sampleRate);
    sustain = std::clamp(shape.sustain, 0.0, 1.0);
    releaseCoef = DecayCoefficient(shape.release, sampleRate);
}

void Envelope::Render(double* out, int frames) {
    // Locals, not members, in the loops: the output could alias them.
    double value = level;
    int i = 0;
    while (i < frames) {
        switch (stage) {
        case Stage::Attack:
            for (; i < frames; ++i) {
                value += attackStep;
                if (value >= 1.0) {
                    out[i++] = value = 1.0;
                    stage = Stage::Decay;
                    break;
                }
                out[i] = value;
            }
            break;
        case Stage::Decay:
            for (; i < frames; ++i) {
                value = sustain + (value - sustain) * decayCoef;
                if (value - sustain < kSilence) {
                    out[i++] = value = sustain;
                    stage = sustain > 0.0 ? Stage::Sustain : Stage::Idle;
                    break;
                }
                out[i] = value;
            }
            break;
        case Stage::Sustain:
            for (; i < frames; ++i) out[i] = value;
            break;
        case Stage::Release:
            for (; i < frames; ++i) {
                value *= releaseCoef;
                if (value < kSilence) {
                    out[i++] = value = 0.0;
                    stage = Stage::Idle;
                    break;
                }
                out[i] = value;
            }
            break;
        case Stage::Idle:
            for (; i < frames; ++i) out[i] = 0.0;
            value = 0.0;
            break;
        }
    }
    level = value;
}

void Envelope::Start() { stage = Stage::Attack; }

void Envelope::Release() {
    if (stage != Stage::Idle) stage = Stage::Release;
}

void Envelope::Clear() {
    stage = Stage::Idle;
    level = 0.0;
}

}  // namespace tone
