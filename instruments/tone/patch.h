// The melodic sounds: one Patch per General MIDI program.
// - PatchForProgram(program): the patch for program 0..127 (clamped), always valid.
// Programs come in sixteen families of eight; each family has its own source
// and envelope, and a few members differ where the family spans very
// different instruments (a harp among strings, a timpani, a choir).
#pragma once

#include "envelope.h"

namespace tone {

enum class Wave { Sine, Triangle, Saw, Square, Fm, Organ, Noise };

struct Patch {
    Wave wave;
    double pulseWidth;    // Square: high part of the period
    double detuneCents;   // a second, detuned oscillator; 0 for none
    double fmRatio;       // Fm: modulator frequency / carrier frequency
    double fmIndex;       // Fm: modulation index in radians at note start, at most 2*pi
    double fmDecay;       // Fm: seconds for the index to fall to fmSustain
    double fmSustain;     // Fm: fraction of the index that remains
    double harmonic2;     // Organ: level of the octave
    double harmonic3;     // Organ: level of the twelfth
    double noise;         // white noise added to the source
    double cutoff;        // low-pass cutoff as a multiple of the note frequency
    double cutoffEnv;     // extra multiple at note start, falling with filterDecay
    double filterDecay;   // seconds
    double resonance;     // filter Q
    EnvelopeShape amp;
    double vibrato;       // built-in delayed vibrato depth, semitones
    double gain;          // balances the families' loudness
};

const Patch& PatchForProgram(int program);

}  // namespace tone
