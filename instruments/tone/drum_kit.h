// The percussion sounds of channel 10, one per General MIDI key.
// - DrumForKey(key): the sound for key 35..81, or nullptr for keys without one.
// A drum is a pitched body (a sine or square with a falling pitch) plus a
// filtered noise burst, each with its own decay; drums ignore note-off.
#pragma once

namespace tone {

enum class NoiseFilter { LowPass, BandPass, HighPass };

struct DrumSound {
    double toneFreq;     // Hz of the body once the pitch has settled
    double toneSweep;    // extra multiple of toneFreq at the strike
    double sweepTime;    // seconds for the sweep to settle
    double toneDecay;    // seconds to silence
    double toneLevel;
    bool squareTone;     // metallic bodies (cowbell) use two squares
    double tone2Ratio;   // a second body partial, 0 for none
    double noiseLevel;
    double noiseDecay;   // seconds to silence
    NoiseFilter noiseFilter;
    double noiseCutoff;  // Hz
    double noiseQ;
    double pan;          // -1 left .. 1 right, as heard from the drummer's seat
    int chokeGroup;      // a new hit silences others of the same group (hi-hats); 0 for none
};

const DrumSound* DrumForKey(int key);

}  // namespace tone
