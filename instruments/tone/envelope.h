// An ADSR amplitude envelope, advanced one sample at a time.
// - Configure(shape, rate): times in seconds; attack is linear (at least
//   kMinAttack, so notes never start with a click), decay and release are
//   exponential and reach kSilence exactly at their stated time.
// - Start(): begins the attack from the current level (a re-used voice does not jump).
// - Release(): enters the release stage from wherever the envelope is.
// - Render(out, frames): the next levels; Finished() once the level has fallen to silence.
#pragma once

namespace tone {

struct EnvelopeShape {
    double attack;   // seconds
    double decay;    // seconds to fall from 1 to silence if sustain were 0
    double sustain;  // 0..1; 0 makes the sound die away on its own (pianos, plucks)
    double release;  // seconds to fall from full level to silence
};

constexpr double kSilence = 3e-5;     // about -90 dB: below it a voice is over
constexpr double kMinAttack = 0.002;  // seconds

class Envelope {
public:
    enum class Stage { Idle, Attack, Decay, Sustain, Release };

    void Configure(const EnvelopeShape& shape, double sampleRate);
    void Start();
    void Release();
    void Clear();

    // Writes the next `frames` levels.
    void Render(double* out, int frames);

    bool Finished() const { return stage == Stage::Idle; }
    bool Releasing() const { return stage == Stage::Release; }
    double Level() const { return level; }

private:
    Stage stage = Stage::Idle;
    double level = 0.0;
    double attackStep = 1.0;
    double decayCoef = 0.0;
    double sustain = 0.0;
    double releaseCoef = 0.0;
};

// The per-sample factor that takes a level from 1 to kSilence in `seconds`.
double DecayCoefficient(double seconds, double sampleRate);

}  // namespace tone
