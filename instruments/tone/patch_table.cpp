#include "patch.h"

#include <algorithm>
#include <array>

namespace tone {
namespace {

// Field order: wave, pulseWidth, detuneCents, fmRatio, fmIndex, fmDecay,
// fmSustain, harmonic2, harmonic3, noise, cutoff, cutoffEnv, filterDecay,
// resonance, {attack, decay, sustain, release}, vibrato, gain.
constexpr Patch kPiano{Wave::Fm, 0.5, 0, 1.0, 2.2, 1.2, 0.15, 0, 0, 0.0, 10, 14, 0.4, 0.7, {0.002, 3.5, 0.0, 0.35}, 0, 0.9};
constexpr Patch kBrightPiano{Wave::Fm, 0.5, 0, 1.0, 3.0, 0.9, 0.2, 0, 0, 0.0, 14, 18, 0.3, 0.7, {0.002, 3.0, 0.0, 0.3}, 0, 0.8};
constexpr Patch kElectricPiano{Wave::Fm, 0.5, 0, 1.0, 1.6, 0.6, 0.1, 0, 0, 0.0, 20, 0, 0.1, 0.7, {0.002, 4.0, 0.0, 0.4}, 0, 0.9};
constexpr Patch kTinePiano{Wave::Fm, 0.5, 0, 14.0, 1.2, 0.15, 0.0, 0, 0, 0.0, 20, 0, 0.1, 0.7, {0.002, 3.5, 0.0, 0.4}, 0, 0.9};
constexpr Patch kHarpsichord{Wave::Square, 0.3, 0, 0, 0, 0, 0, 0, 0, 0.0, 10, 20, 0.25, 1.0, {0.001, 1.6, 0.0, 0.25}, 0, 0.45};
constexpr Patch kClavinet{Wave::Square, 0.15, 0, 0, 0, 0, 0, 0, 0, 0.0, 6, 16, 0.12, 2.5, {0.001, 1.2, 0.0, 0.08}, 0, 0.5};

constexpr Patch kBell{Wave::Fm, 0.5, 0, 3.5, 2.5, 0.6, 0.2, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.001, 2.0, 0.0, 0.8}, 0, 0.8};
constexpr Patch kVibraphone{Wave::Fm, 0.5, 0, 4.0, 1.0, 0.3, 0.1, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.001, 3.0, 0.0, 0.6}, 0.15, 0.9};
constexpr Patch kMarimba{Wave::Fm, 0.5, 0, 4.0, 1.4, 0.05, 0.0, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.001, 0.6, 0.0, 0.2}, 0, 1.0};
constexpr Patch kXylophone{Wave::Fm, 0.5, 0, 3.0, 1.8, 0.04, 0.0, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.001, 0.4, 0.0, 0.15}, 0, 0.9};
constexpr Patch kTubularBell{Wave::Fm, 0.5, 0, 3.5, 3.5, 1.5, 0.3, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.001, 4.0, 0.0, 1.5}, 0, 0.7};

constexpr Patch kOrgan{Wave::Organ, 0.5, 0, 0, 0, 0, 0, 0.6, 0.35, 0.0, 40, 0, 0.1, 0.7, {0.005, 1.0, 1.0, 0.06}, 0, 0.55};
constexpr Patch kRockOrgan{Wave::Organ, 0.5, 0, 0, 0, 0, 0, 0.9, 0.7, 0.0, 12, 0, 0.1, 1.2, {0.004, 1.0, 1.0, 0.08}, 0, 0.5};
constexpr Patch kPipeOrgan{Wave::Organ, 0.5, 0, 0, 0, 0, 0, 1.0, 0.5, 0.01, 30, 0, 0.1, 0.7, {0.06, 1.0, 1.0, 0.5}, 0, 0.5};
constexpr Patch kReedOrgan{Wave::Square, 0.4, 4, 0, 0, 0, 0, 0, 0, 0.0, 5, 0, 0.1, 0.7, {0.04, 1.0, 1.0, 0.15}, 0, 0.4};

constexpr Patch kNylonGuitar{Wave::Triangle, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 6, 10, 0.15, 0.8, {0.002, 2.2, 0.0, 0.2}, 0, 0.9};
constexpr Patch kSteelGuitar{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 5, 16, 0.2, 0.9, {0.001, 2.0, 0.0, 0.2}, 0, 0.6};
constexpr Patch kCleanGuitar{Wave::Square, 0.35, 0, 0, 0, 0, 0, 0, 0, 0.0, 5, 8, 0.2, 0.8, {0.002, 2.5, 0.0, 0.2}, 0, 0.5};
constexpr Patch kMutedGuitar{Wave::Square, 0.4, 0, 0, 0, 0, 0, 0, 0, 0.0, 3, 6, 0.05, 0.9, {0.001, 0.35, 0.0, 0.06}, 0, 0.6};
constexpr Patch kDriveGuitar{Wave::Saw, 0.5, 7, 0, 0, 0, 0, 0, 0, 0.0, 8, 6, 0.3, 2.0, {0.003, 5.0, 0.6, 0.15}, 0.1, 0.4};

constexpr Patch kAcousticBass{Wave::Triangle, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 4, 6, 0.1, 0.7, {0.003, 2.5, 0.0, 0.12}, 0, 1.2};
constexpr Patch kFingerBass{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 3, 5, 0.12, 0.8, {0.003, 3.0, 0.0, 0.12}, 0, 0.9};
constexpr Patch kSlapBass{Wave::Fm, 0.5, 0, 1.0, 3.0, 0.08, 0.2, 0, 0, 0.0, 10, 10, 0.08, 0.7, {0.001, 1.5, 0.0, 0.1}, 0, 0.8};
constexpr Patch kSynthBass{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 2, 12, 0.15, 4.0, {0.002, 1.0, 0.5, 0.1}, 0, 0.7};
constexpr Patch kSquareBass{Wave::Square, 0.5, 5, 0, 0, 0, 0, 0, 0, 0.0, 3, 8, 0.2, 2.5, {0.002, 1.2, 0.5, 0.1}, 0, 0.6};

constexpr Patch kStrings{Wave::Saw, 0.5, 8, 0, 0, 0, 0, 0, 0, 0.0, 6, 0, 0.1, 0.7, {0.12, 1.0, 1.0, 0.35}, 0.12, 0.45};
constexpr Patch kPizzicato{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 4, 6, 0.05, 0.8, {0.002, 0.5, 0.0, 0.1}, 0, 0.8};
constexpr Patch kHarp{Wave::Triangle, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 8, 8, 0.1, 0.7, {0.002, 2.5, 0.0, 0.6}, 0, 1.0};
constexpr Patch kTimpani{Wave::Fm, 0.5, 0, 1.5, 1.5, 0.1, 0.1, 0, 0, 0.05, 6, 0, 0.1, 0.7, {0.002, 1.8, 0.0, 0.5}, 0, 1.2};

constexpr Patch kEnsemble{Wave::Saw, 0.5, 12, 0, 0, 0, 0, 0, 0, 0.0, 5, 0, 0.1, 0.7, {0.2, 1.0, 1.0, 0.5}, 0.08, 0.45};
constexpr Patch kSynthStrings{Wave::Saw, 0.5, 15, 0, 0, 0, 0, 0, 0, 0.0, 4, 4, 0.6, 1.5, {0.08, 1.0, 0.9, 0.4}, 0, 0.4};
constexpr Patch kChoir{Wave::Triangle, 0.5, 10, 0, 0, 0, 0, 0, 0, 0.01, 8, 0, 0.1, 0.7, {0.25, 1.0, 1.0, 0.6}, 0.15, 0.8};
constexpr Patch kOrchestraHit{Wave::Saw, 0.5, 18, 0, 0, 0, 0, 0, 0, 0.15, 12, 10, 0.1, 0.9, {0.001, 0.6, 0.0, 0.2}, 0, 0.6};

constexpr Patch kBrass{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 3, 6, 0.12, 0.9, {0.04, 1.5, 0.8, 0.18}, 0.08, 0.5};
constexpr Patch kMutedBrass{Wave::Square, 0.3, 0, 0, 0, 0, 0, 0, 0, 0.0, 3, 3, 0.1, 2.0, {0.02, 1.0, 0.6, 0.1}, 0, 0.5};
constexpr Patch kSynthBrass{Wave::Saw, 0.5, 10, 0, 0, 0, 0, 0, 0, 0.0, 3, 10, 0.3, 2.0, {0.01, 1.2, 0.7, 0.2}, 0, 0.45};

constexpr Patch kSax{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.02, 4, 3, 0.1, 1.5, {0.03, 1.0, 0.85, 0.1}, 0.15, 0.5};
constexpr Patch kDoubleReed{Wave::Square, 0.25, 0, 0, 0, 0, 0, 0, 0, 0.01, 6, 0, 0.1, 1.2, {0.03, 1.0, 0.9, 0.1}, 0.12, 0.45};
constexpr Patch kClarinet{Wave::Square, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.01, 5, 0, 0.1, 0.7, {0.03, 1.0, 0.9, 0.1}, 0.1, 0.45};

constexpr Patch kFlute{Wave::Sine, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.04, 4, 0, 0.1, 0.7, {0.05, 1.0, 0.9, 0.15}, 0.18, 1.0};
constexpr Patch kRecorder{Wave::Triangle, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.02, 3, 0, 0.1, 0.7, {0.03, 1.0, 0.9, 0.1}, 0.08, 0.9};
constexpr Patch kOcarina{Wave::Sine, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 8, 0, 0.1, 0.7, {0.03, 1.0, 0.95, 0.12}, 0, 1.0};
constexpr Patch kBottle{Wave::Sine, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.12, 3, 0, 0.1, 0.7, {0.08, 1.0, 0.8, 0.2}, 0.05, 1.0};

constexpr Patch kSquareLead{Wave::Square, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 10, 0, 0.1, 1.0, {0.005, 1.0, 0.9, 0.08}, 0.1, 0.4};
constexpr Patch kSawLead{Wave::Saw, 0.5, 6, 0, 0, 0, 0, 0, 0, 0.0, 8, 6, 0.25, 1.8, {0.005, 1.0, 0.9, 0.1}, 0.1, 0.4};
constexpr Patch kSoftLead{Wave::Triangle, 0.5, 5, 0, 0, 0, 0, 0, 0, 0.0, 6, 0, 0.1, 0.7, {0.02, 1.0, 0.9, 0.2}, 0.12, 0.8};

constexpr Patch kPad{Wave::Saw, 0.5, 14, 0, 0, 0, 0, 0, 0, 0.0, 3, 2, 1.5, 1.0, {0.6, 1.0, 1.0, 1.5}, 0.05, 0.35};
constexpr Patch kWarmPad{Wave::Triangle, 0.5, 12, 0, 0, 0, 0, 0, 0, 0.0, 4, 0, 0.1, 0.7, {0.5, 1.0, 1.0, 1.5}, 0.06, 0.7};
constexpr Patch kGlassPad{Wave::Fm, 0.5, 0, 2.0, 1.2, 2.0, 0.4, 0, 0, 0.0, 20, 0, 0.1, 0.7, {0.4, 1.0, 1.0, 1.5}, 0.05, 0.6};

constexpr Patch kRainFx{Wave::Fm, 0.5, 0, 5.3, 3.0, 1.0, 0.3, 0, 0, 0.05, 20, 0, 0.1, 0.7, {0.01, 2.5, 0.2, 1.0}, 0, 0.5};
constexpr Patch kAtmosphereFx{Wave::Saw, 0.5, 25, 0, 0, 0, 0, 0, 0, 0.03, 2, 8, 2.0, 3.0, {0.3, 3.0, 0.6, 1.5}, 0.1, 0.35};
constexpr Patch kCrystalFx{Wave::Fm, 0.5, 0, 7.1, 2.0, 0.5, 0.1, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.002, 2.5, 0.0, 1.2}, 0, 0.6};

constexpr Patch kSitar{Wave::Fm, 0.5, 0, 2.0, 3.0, 0.8, 0.3, 0, 0, 0.0, 12, 8, 0.5, 2.0, {0.002, 2.5, 0.0, 0.3}, 0.05, 0.6};
constexpr Patch kBanjo{Wave::Square, 0.2, 0, 0, 0, 0, 0, 0, 0, 0.0, 12, 10, 0.08, 1.0, {0.001, 0.8, 0.0, 0.1}, 0, 0.5};
constexpr Patch kKalimba{Wave::Fm, 0.5, 0, 5.0, 0.8, 0.05, 0.0, 0, 0, 0.0, 20, 0, 0.1, 0.7, {0.001, 1.0, 0.0, 0.2}, 0, 1.0};
constexpr Patch kBagpipe{Wave::Saw, 0.5, 3, 0, 0, 0, 0, 0, 0, 0.0, 8, 0, 0.1, 2.5, {0.03, 1.0, 1.0, 0.1}, 0, 0.35};
constexpr Patch kFiddle{Wave::Saw, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 7, 0, 0.1, 1.5, {0.05, 1.0, 0.9, 0.2}, 0.2, 0.45};

constexpr Patch kTinkleBell{Wave::Fm, 0.5, 0, 6.3, 2.0, 0.2, 0.1, 0, 0, 0.0, 24, 0, 0.1, 0.7, {0.001, 1.2, 0.0, 0.5}, 0, 0.7};
constexpr Patch kSteelDrum{Wave::Fm, 0.5, 0, 2.3, 1.5, 0.15, 0.1, 0, 0, 0.0, 20, 0, 0.1, 0.7, {0.001, 1.2, 0.0, 0.3}, 0, 0.9};
constexpr Patch kWoodblock{Wave::Fm, 0.5, 0, 1.7, 2.0, 0.02, 0.0, 0, 0, 0.0, 20, 0, 0.1, 0.7, {0.001, 0.15, 0.0, 0.05}, 0, 1.0};
constexpr Patch kTaiko{Wave::Sine, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.2, 6, 0, 0.1, 0.7, {0.001, 1.0, 0.0, 0.3}, 0, 1.2};
constexpr Patch kReverseCymbal{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 40, 0, 0.1, 0.7, {1.5, 0.3, 0.0, 0.2}, 0, 0.25};

constexpr Patch kFretNoise{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 4, 8, 0.05, 3.0, {0.001, 0.3, 0.0, 0.05}, 0, 1.2};
constexpr Patch kBreath{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 6, 0, 0.1, 1.5, {0.1, 1.0, 0.8, 0.3}, 0, 0.3};
constexpr Patch kSeashore{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 12, 0, 0.1, 0.7, {1.0, 3.0, 0.5, 1.5}, 0, 0.25};
constexpr Patch kBird{Wave::Sine, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 8, 0, 0.1, 0.7, {0.01, 0.4, 0.5, 0.1}, 1.5, 0.6};
constexpr Patch kTelephone{Wave::Square, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 6, 0, 0.1, 0.7, {0.002, 1.0, 1.0, 0.02}, 0, 0.3};
constexpr Patch kHelicopter{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 2, 0, 0.1, 4.0, {0.3, 1.0, 1.0, 0.5}, 0.8, 0.4};
constexpr Patch kApplause{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 30, 0, 0.1, 0.7, {0.4, 2.0, 0.7, 1.0}, 0, 0.25};
constexpr Patch kGunshot{Wave::Noise, 0.5, 0, 0, 0, 0, 0, 0, 0, 0.0, 10, 30, 0.05, 0.7, {0.001, 0.6, 0.0, 0.2}, 0, 0.6};

// One row per program, in General MIDI order.
constexpr std::array<const Patch*, 128> kPrograms{
    // piano
    &kPiano, &kBrightPiano, &kBrightPiano, &kPiano, &kElectricPiano, &kTinePiano, &kHarpsichord, &kClavinet,
    // chromatic percussion
    &kBell, &kBell, &kBell, &kVibraphone, &kMarimba, &kXylophone, &kTubularBell, &kMarimba,
    // organ
    &kOrgan, &kOrgan, &kRockOrgan, &kPipeOrgan, &kReedOrgan, &kReedOrgan, &kReedOrgan, &kReedOrgan,
    // guitar
    &kNylonGuitar, &kSteelGuitar, &kCleanGuitar, &kCleanGuitar, &kMutedGuitar, &kDriveGuitar, &kDriveGuitar, &kCleanGuitar,
    // bass
    &kAcousticBass, &kFingerBass, &kFingerBass, &kAcousticBass, &kSlapBass, &kSlapBass, &kSynthBass, &kSquareBass,
    // strings
    &kStrings, &kStrings, &kStrings, &kStrings, &kStrings, &kPizzicato, &kHarp, &kTimpani,
    // ensemble
    &kEnsemble, &kEnsemble, &kSynthStrings, &kSynthStrings, &kChoir, &kChoir, &kChoir, &kOrchestraHit,
    // brass
    &kBrass, &kBrass, &kBrass, &kMutedBrass, &kBrass, &kBrass, &kSynthBrass, &kSynthBrass,
    // reed
    &kSax, &kSax, &kSax, &kSax, &kDoubleReed, &kDoubleReed, &kDoubleReed, &kClarinet,
    // pipe
    &kFlute, &kFlute, &kRecorder, &kFlute, &kBottle, &kBottle, &kRecorder, &kOcarina,
    // synth lead
    &kSquareLead, &kSawLead, &kSoftLead, &kSquareLead, &kSawLead, &kSoftLead, &kSawLead, &kSawLead,
    // synth pad
    &kPad, &kWarmPad, &kPad, &kChoir, &kGlassPad, &kWarmPad, &kPad, &kPad,
    // synth effects
    &kRainFx, &kAtmosphereFx, &kCrystalFx, &kAtmosphereFx, &kCrystalFx, &kAtmosphereFx, &kRainFx, &kAtmosphereFx,
    // ethnic
    &kSitar, &kBanjo, &kBanjo, &kKalimba, &kKalimba, &kBagpipe, &kFiddle, &kDoubleReed,
    // percussive
    &kTinkleBell, &kTinkleBell, &kSteelDrum, &kWoodblock, &kTaiko, &kTaiko, &kTaiko, &kReverseCymbal,
    // sound effects
    &kFretNoise, &kBreath, &kSeashore, &kBird, &kTelephone, &kHelicopter, &kApplause, &kGunshot,
};

}  // namespace

const Patch& PatchForProgram(int program) { return *kPrograms[std::clamp(program, 0, 127)]; }

}  // namespace tone
