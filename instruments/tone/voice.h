// One sounding note: a melodic patch or a drum, rendered in short segments.
// - StartMelodic / StartDrum: (re)initialise every field for a new note; no allocation.
// - Release(): note-off (drums ignore it); FadeOut(): a few milliseconds to
//   silence, used when the voice is stolen or all sound is cut.
// - Update(...): control-rate values (pitch, gains, filter), called every
//   kControlPeriod frames of the synth's clock and once at note start.
// - Render(left, right, frames): adds at most kControlPeriod frames into the mix.
// - RenderMelodicPair(a, b, ...): two melodic voices at once, the same
//   samples as rendering a then b: their filters run interleaved, which
//   hides one filter's latency behind the other's.
// [audio thread] everything.
#pragma once

#include <cstdint>

#include "drum_kit.h"
#include "envelope.h"
#include "oscillator.h"
#include "patch.h"

namespace tone {

constexpr int kControlPeriod = 32;

// What the channel contributes at a control point.
struct VoiceControl {
    double pitchSemis;    // bend and modulation vibrato
    double vibratoDepth;  // semitones
    double gain;          // master, volume and expression
    double pan;           // 0 left .. 1 right
};

class Voice {
public:
    enum class State { Idle, Held, Released, Dying };

    void StartMelodic(const Patch& patch, int channel, int key, int velocity, double sampleRate, uint64_t order);
    void StartDrum(const DrumSound& drum, int channel, int key, int velocity, double sampleRate, uint64_t order);
    void Release();
    void FadeOut();
    void Update(const VoiceControl& control, bool immediate);
    void Render(double* left, double* right, int frames);
    static void RenderMelodicPair(Voice& a, Voice& b, double* left, double* right, int frames);

    // Loudness as the voice-stealing rule compares it.
    double Loudness() const;

    State state = State::Idle;
    int channel = 0;
    int key = 0;
    bool sustained = false;  // note-off arrived while the pedal was down
    bool drum = false;
    int chokeGroup = 0;
    uint64_t order = 0;      // start order: lower is older

private:
    void RenderSource(double* out, int frames);
    void RenderMelodic(double* left, double* right, int frames);
    // The halves of RenderMelodic: oscillators and amplitude, then filter and mix.
    void PrepareMelodic(double* source, double* level, int frames);
    void FinishMelodic();
    void RenderDrum(double* left, double* right, int frames);
    void SetFilter(double cutoffHz, double q);

    double sampleRate = 44100.0;
    const Patch* patch = nullptr;
    const DrumSound* drumSound = nullptr;
    double velocityGain = 0.0;
    double brightness = 1.0;
    double noteFreq = 0.0;

    // oscillators
    double phase1 = 0.0, phase2 = 0.0, phaseMod = 0.0;
    double inc1 = 0.0, inc2 = 0.0, incMod = 0.0;
    double detuneRatio = 1.0;
    double fmIndex = 0.0;
    NoiseSource noise;

    // control-rate modulators
    double filterEnv = 0.0, filterEnvCoef = 0.0;
    double fmEnv = 0.0, fmEnvCoef = 0.0;
    double lfoPhase = 0.0;
    double age = 0.0;  // seconds since note start, at control rate

    // state-variable filter (trapezoidal form: stable under fast cutoff changes)
    double ic1 = 0.0, ic2 = 0.0;
    double fa1 = 0.0, fa2 = 0.0, fa3 = 0.0, fk = 1.0;

    // amplitude
    Envelope amp;
    double gainL = 0.0, gainR = 0.0, stepL = 0.0, stepR = 0.0;
    double fade = 1.0, fadeStep = 0.0;

    // drums: body level and pitch sweep, noise level, strike ramp
    double toneLevel = 0.0, toneCoef = 0.0;
    double sweep = 0.0, sweepCoef = 0.0;
    double noiseLevel = 0.0, noiseCoef = 0.0;
    double strike = 0.0, strikeStep = 0.0;
};

}  // namespace tone
