#include "voice.h"

#include <algorithm>
#include <cmath>

namespace tone {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Scales one voice so that a full arrangement at typical volumes stays below
// full scale without a limiter doing the work.
constexpr double kVoiceScale = 0.32;
constexpr double kDrumScale = 0.45;
constexpr double kFadeSeconds = 0.004;   // steal and sound-off: short, but not a click
constexpr double kStrikeSeconds = 0.0005;
constexpr double kLfoHz = 5.5;
constexpr double kVibratoDelay = 0.25;   // seconds before a patch's own vibrato sets in
constexpr double kVibratoRise = 0.4;
constexpr double kMaxIncrement = 0.45;   // keeps every oscillator below Nyquist
// Keeps the filter state out of the denormal range once a voice goes quiet.
constexpr double kAntiDenormal = 1e-20;

double NoteFrequency(int key) { return 440.0 * std::exp2((key - 69) / 12.0); }

double VelocityGain(int velocity) {
    const double v = velocity / 127.0;
    return v * v;
}

}  // namespace

void Voice::StartMelodic(const Patch& p, int ch, int k, int velocity, double rate, uint64_t startOrder) {
    patch = &p;
    drumSound = nullptr;
    drum = false;
    channel = ch;
    key = k;
    order = startOrder;
    sustained = false;
    chokeGroup = 0;
    state = State::Held;
    sampleRate = rate;

    noteFreq = NoteFrequency(k);
    velocityGain = VelocityGain(velocity) * p.gain * kVoiceScale;
    brightness = 0.55 + 0.45 * velocity / 127.0;
    phase1 = 0.0;
    phase2 = 0.37;  // the detuned twin starts elsewhere so the pair does not cancel at onset
    phaseMod = 0.0;
    detuneRatio = std::exp2(p.detuneCents / 1200.0);
    noise.Seed(0x2545F491u ^ (static_cast<uint32_t>(k) * 7919u + static_cast<uint32_t>(ch) * 104729u));

    const double controlRate = rate / kControlPeriod;
    filterEnv = 1.0;
    filterEnvCoef = DecayCoefficient(p.filterDecay, controlRate);
    fmEnv = 1.0;
    fmEnvCoef = DecayCoefficient(p.fmDecay, controlRate);
    lfoPhase = 0.0;
    age = 0.0;

    ic1 = ic2 = 0.0;
    amp.Configure(p.amp, rate);
    amp.Clear();
    amp.Start();
    fade = 1.0;
    fadeStep = 0.0;
}

void Voice::StartDrum(const DrumSound& d, int ch, int k, int velocity, double rate, uint64_t startOrder) {
    patch = nullptr;
    drumSound = &d;
    drum = true;
    channel = ch;
    key = k;
    order = startOrder;
    sustained = false;
    chokeGroup = d.chokeGroup;
    state = State::Held;
    sampleRate = rate;

    velocityGain = VelocityGain(velocity) * kDrumScale;
    phase1 = 0.0;
    phase2 = 0.0;
    noise.Seed(0x68E31DA4u ^ static_cast<uint32_t>(k) * 2654435761u);
    toneLevel = d.toneLevel > 0.0 ? 1.0 : 0.0;
    toneCoef = DecayCoefficient(d.toneDecay, rate);
    noiseLevel = d.noiseLevel > 0.0 ? 1.0 : 0.0;
    noiseCoef = DecayCoefficient(d.noiseDecay, rate);
    sweep = 1.0;
    sweepCoef = DecayCoefficient(d.sweepTime, rate / kControlPeriod);
    strike = 0.0;
    strikeStep = 1.0 / (kStrikeSeconds * rate);

    ic1 = ic2 = 0.0;
    SetFilter(d.noiseCutoff, d.noiseQ);
    amp.Clear();
    fade = 1.0;
    fadeStep = 0.0;
}

void Voice::Release() {
    if (state != State::Held) return;
    state = State::Released;
    sustained = false;
    if (!drum) amp.Release();
}

void Voice::FadeOut() {
    if (state == State::Idle || state == State::Dying) return;
    state = State::Dying;
    fadeStep = 1.0 / (kFadeSeconds * sampleRate);
}

double Voice::Loudness() const {
    const double level = drum ? std::max(toneLevel * drumSound->toneLevel, noiseLevel * drumSound->noiseLevel)
                              : amp.Level();
    return level * fade * (gainL + gainR);
}

void Voice::SetFilter(double cutoffHz, double q) {
    const double fc = std::clamp(cutoffHz, 20.0, 0.45 * sampleRate);
    const double g = std::tan(kPi * fc / sampleRate);
    fk = 1.0 / q;
    fa1 = 1.0 / (1.0 + g * (g + fk));
    fa2 = g * fa1;
    fa3 = g * fa2;
}

void Voice::Update(const VoiceControl& control, bool immediate) {
    double pan = control.pan;
    if (drum) {
        const DrumSound& d = *drumSound;
        inc1 = std::min(d.toneFreq * (1.0 + d.toneSweep * sweep) / sampleRate, kMaxIncrement);
        inc2 = std::min(inc1 * d.tone2Ratio, kMaxIncrement);
        sweep *= sweepCoef;
        pan = std::clamp(pan + 0.5 * d.pan, 0.0, 1.0);
    } else {
        const Patch& p = *patch;
        const double rise = std::clamp((age - kVibratoDelay) / kVibratoRise, 0.0, 1.0);
        const double depth = control.vibratoDepth + p.vibrato * rise;
        const double semis = control.pitchSemis + depth * Sine(lfoPhase);
        lfoPhase = Wrap(lfoPhase + kLfoHz * kControlPeriod / sampleRate);
        const double freq = noteFreq * std::exp2(semis / 12.0);
        inc1 = std::min(freq / sampleRate, kMaxIncrement);
        inc2 = std::min(inc1 * detuneRatio, kMaxIncrement);
        incMod = std::min(inc1 * p.fmRatio, kMaxIncrement);
        fmIndex = p.fmIndex * (p.fmSustain + (1.0 - p.fmSustain) * fmEnv) / (2.0 * kPi);
        SetFilter(freq * (p.cutoff + p.cutoffEnv * filterEnv) * brightness, p.resonance);
        filterEnv *= filterEnvCoef;
        fmEnv *= fmEnvCoef;
        age += kControlPeriod / sampleRate;
    }
    // Equal-power pan: the centre is 3 dB down on each side.
    const double gain = control.gain * velocityGain;
    const double targetL = gain * std::cos(pan * 0.5 * kPi);
    const double targetR = gain * std::sin(pan * 0.5 * kPi);
    if (immediate) {
        gainL = targetL;
        gainR = targetR;
        stepL = stepR = 0.0;
    } else {
        // Reached exactly at the next control point: no zipper noise on fader moves.
        stepL = (targetL - gainL) / kControlPeriod;
        stepR = (targetR - gainR) / kControlPeriod;
    }
}

void Voice::Render(double* left, double* right, int frames) {
    if (state == State::Idle) return;
    if (drum) {
        RenderDrum(left, right, frames);
    } else {
        RenderMelodic(left, right, frames);
    }
}

void Voice::RenderSource(double* out, int frames) {
    // Phases live in locals: `out` could alias the members, which would
    // force a reload and store of every one of them per sample.
    const Patch& p = *patch;
    const bool twin = p.detuneCents != 0.0;
    double a = phase1, b = phase2, m = phaseMod;
    const double da = inc1, db = inc2, dm = incMod;
    switch (p.wave) {
    case Wave::Sine:
        for (int i = 0; i < frames; ++i, a = Wrap(a + da)) out[i] = Sine(a);
        break;
    case Wave::Triangle:
        if (twin) {
            for (int i = 0; i < frames; ++i, a = Wrap(a + da), b = Wrap(b + db)) out[i] = 0.5 * (Triangle(a) + Triangle(b));
        } else {
            for (int i = 0; i < frames; ++i, a = Wrap(a + da)) out[i] = Triangle(a);
        }
        break;
    case Wave::Saw:
        if (twin) {
            for (int i = 0; i < frames; ++i, a = Wrap(a + da), b = Wrap(b + db)) out[i] = 0.5 * (Saw(a, da) + Saw(b, db));
        } else {
            for (int i = 0; i < frames; ++i, a = Wrap(a + da)) out[i] = Saw(a, da);
        }
        break;
    case Wave::Square: {
        const double width = p.pulseWidth;
        if (twin) {
            for (int i = 0; i < frames; ++i, a = Wrap(a + da), b = Wrap(b + db)) {
                out[i] = 0.5 * (Square(a, da, width) + Square(b, db, width));
            }
        } else {
            for (int i = 0; i < frames; ++i, a = Wrap(a + da)) out[i] = Square(a, da, width);
        }
        break;
    }
    case Wave::Fm: {
        const double index = fmIndex;
        for (int i = 0; i < frames; ++i, a = Wrap(a + da), m = Wrap(m + dm)) {
            // The offset stays within +-1 cycle, so truncating after a shift
            // is floor() without the library call.
            double ph = a + index * Sine(m) + 2.0;
            ph -= static_cast<double>(static_cast<int>(ph));
            out[i] = Sine(ph);
        }
        break;
    }
    case Wave::Organ: {
        const double norm = 1.0 / (1.0 + p.harmonic2 + p.harmonic3);
        const double h2 = p.harmonic2 * norm, h3 = p.harmonic3 * norm;
        for (int i = 0; i < frames; ++i, a = Wrap(a + da)) {
            double octave = 2.0 * a, twelfth = 3.0 * a;
            octave -= static_cast<double>(static_cast<int>(octave));
            twelfth -= static_cast<double>(static_cast<int>(twelfth));
            out[i] = norm * Sine(a) + h2 * Sine(octave) + h3 * Sine(twelfth);
        }
        break;
    }
    case Wave::Noise: {
        NoiseSource source = noise;
        for (int i = 0; i < frames; ++i) out[i] = source.Next();
        noise = source;
        break;
    }
    }
    phase1 = a;
    phase2 = b;
    phaseMod = m;
    if (p.noise > 0.0 && p.wave != Wave::Noise) {
        NoiseSource source = noise;
        for (int i = 0; i < frames; ++i) out[i] += p.noise * source.Next();
        noise = source;
    }
}

void Voice::PrepareMelodic(double* source, double* level, int frames) {
    RenderSource(source, frames);
    amp.Render(level, frames);
    if (state == State::Dying) {
        double f = fade;
        for (int i = 0; i < frames; ++i) {
            level[i] *= f;
            f = std::max(0.0, f - fadeStep);
        }
        fade = f;
    }
}

void Voice::FinishMelodic() {
    if (amp.Finished() || fade <= 0.0) state = State::Idle;
}

void Voice::RenderMelodic(double* left, double* right, int frames) {
    double source[kControlPeriod];
    double level[kControlPeriod];
    PrepareMelodic(source, level, frames);
    double s1 = ic1, s2 = ic2, gl = gainL, gr = gainR;
    const double a1 = fa1, a2 = fa2, a3 = fa3, dl = stepL, dr = stepR;
    for (int i = 0; i < frames; ++i) {
        const double v3 = source[i] + kAntiDenormal - s2;
        const double v1 = a1 * s1 + a2 * v3;
        const double v2 = s2 + a2 * s1 + a3 * v3;
        s1 = 2.0 * v1 - s1;
        s2 = 2.0 * v2 - s2;
        const double y = v2 * level[i];
        left[i] += y * gl;
        right[i] += y * gr;
        gl += dl;
        gr += dr;
    }
    ic1 = s1;
    ic2 = s2;
    gainL = gl;
    gainR = gr;
    FinishMelodic();
}

void Voice::RenderMelodicPair(Voice& a, Voice& b, double* left, double* right, int frames) {
    double sourceA[kControlPeriod], levelA[kControlPeriod];
    double sourceB[kControlPeriod], levelB[kControlPeriod];
    a.PrepareMelodic(sourceA, levelA, frames);
    b.PrepareMelodic(sourceB, levelB, frames);
    double s1a = a.ic1, s2a = a.ic2, gla = a.gainL, gra = a.gainR;
    double s1b = b.ic1, s2b = b.ic2, glb = b.gainL, grb = b.gainR;
    const double a1a = a.fa1, a2a = a.fa2, a3a = a.fa3, dla = a.stepL, dra = a.stepR;
    const double a1b = b.fa1, a2b = b.fa2, a3b = b.fa3, dlb = b.stepL, drb = b.stepR;
    for (int i = 0; i < frames; ++i) {
        const double v3a = sourceA[i] + kAntiDenormal - s2a;
        const double v3b = sourceB[i] + kAntiDenormal - s2b;
        const double v1a = a1a * s1a + a2a * v3a;
        const double v1b = a1b * s1b + a2b * v3b;
        const double v2a = s2a + a2a * s1a + a3a * v3a;
        const double v2b = s2b + a2b * s1b + a3b * v3b;
        s1a = 2.0 * v1a - s1a;
        s1b = 2.0 * v1b - s1b;
        s2a = 2.0 * v2a - s2a;
        s2b = 2.0 * v2b - s2b;
        const double ya = v2a * levelA[i];
        const double yb = v2b * levelB[i];
        // a before b, as two separate renders would add them.
        left[i] = (left[i] + ya * gla) + yb * glb;
        right[i] = (right[i] + ya * gra) + yb * grb;
        gla += dla;
        gra += dra;
        glb += dlb;
        grb += drb;
    }
    a.ic1 = s1a;
    a.ic2 = s2a;
    a.gainL = gla;
    a.gainR = gra;
    b.ic1 = s1b;
    b.ic2 = s2b;
    b.gainL = glb;
    b.gainR = grb;
    a.FinishMelodic();
    b.FinishMelodic();
}

void Voice::RenderDrum(double* left, double* right, int frames) {
    const DrumSound& d = *drumSound;
    double hit[kControlPeriod];
    // The pitched body.
    double a = phase1, b = phase2, level = toneLevel;
    for (int i = 0; i < frames; ++i) {
        double body = 0.0;
        if (level > 0.0) {
            if (d.squareTone) {
                body = Square(a, inc1, 0.5);
                if (d.tone2Ratio > 0.0) body = 0.5 * (body + Square(b, inc2, 0.5));
            } else {
                body = Sine(a);
                if (d.tone2Ratio > 0.0) body = 0.6 * body + 0.4 * Sine(b);
            }
            body *= level * d.toneLevel;
            a = Wrap(a + inc1);
            b = Wrap(b + inc2);
            level *= toneCoef;
            if (level < kSilence) level = 0.0;
        }
        hit[i] = body;
    }
    phase1 = a;
    phase2 = b;
    toneLevel = level;

    // The filtered noise.
    if (noiseLevel > 0.0) {
        NoiseSource source = noise;
        double s1 = ic1, s2 = ic2;
        level = noiseLevel;
        const double a1 = fa1, a2 = fa2, a3 = fa3, k = fk;
        for (int i = 0; i < frames && level > 0.0; ++i) {
            const double in = source.Next() + kAntiDenormal;
            const double v3 = in - s2;
            const double v1 = a1 * s1 + a2 * v3;
            const double v2 = s2 + a2 * s1 + a3 * v3;
            s1 = 2.0 * v1 - s1;
            s2 = 2.0 * v2 - s2;
            const double filtered = d.noiseFilter == NoiseFilter::LowPass    ? v2
                                    : d.noiseFilter == NoiseFilter::BandPass ? v1
                                                                             : in - k * v1 - v2;
            hit[i] += filtered * level * d.noiseLevel;
            level *= noiseCoef;
            if (level < kSilence) level = 0.0;
        }
        noise = source;
        ic1 = s1;
        ic2 = s2;
        noiseLevel = level;
    }

    double st = strike, f = fade, gl = gainL, gr = gainR;
    const double dst = strikeStep, df = fadeStep, dl = stepL, dr = stepR;
    for (int i = 0; i < frames; ++i) {
        st = std::min(1.0, st + dst);
        const double y = hit[i] * st * f;
        left[i] += y * gl;
        right[i] += y * gr;
        gl += dl;
        gr += dr;
        f = std::max(0.0, f - df);
    }
    strike = st;
    fade = f;
    gainL = gl;
    gainR = gr;
    if ((toneLevel <= 0.0 && noiseLevel <= 0.0) || fade <= 0.0) state = State::Idle;
}

}  // namespace tone
