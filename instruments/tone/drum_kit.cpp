#include "drum_kit.h"

#include <array>

namespace tone {
namespace {

constexpr NoiseFilter LP = NoiseFilter::LowPass;
constexpr NoiseFilter BP = NoiseFilter::BandPass;
constexpr NoiseFilter HP = NoiseFilter::HighPass;

// Field order: toneFreq, toneSweep, sweepTime, toneDecay, toneLevel,
// squareTone, tone2Ratio, noiseLevel, noiseDecay, noiseFilter, noiseCutoff,
// noiseQ, pan, chokeGroup.
constexpr DrumSound kKick{50, 3.0, 0.04, 0.45, 1.0, false, 0, 0.25, 0.03, LP, 1200, 0.7, 0, 0};
constexpr DrumSound kKickHard{55, 4.0, 0.03, 0.35, 1.0, false, 0, 0.35, 0.03, LP, 2500, 0.7, 0, 0};
constexpr DrumSound kSideStick{800, 0.5, 0.005, 0.06, 0.5, false, 1.6, 0.4, 0.04, BP, 2500, 1.5, -0.1, 0};
constexpr DrumSound kSnare{190, 0.6, 0.02, 0.18, 0.5, false, 0, 0.8, 0.28, BP, 4500, 0.6, -0.1, 0};
constexpr DrumSound kClap{0, 0, 0.01, 0.01, 0, false, 0, 1.0, 0.3, BP, 1200, 1.2, -0.05, 0};
constexpr DrumSound kSnareBright{220, 0.6, 0.02, 0.15, 0.45, false, 0, 0.9, 0.25, HP, 2500, 0.7, -0.1, 0};
constexpr DrumSound kClosedHat{0, 0, 0.01, 0.01, 0, false, 0, 0.55, 0.09, HP, 8000, 0.8, 0.35, 1};
constexpr DrumSound kPedalHat{0, 0, 0.01, 0.01, 0, false, 0, 0.45, 0.12, HP, 7000, 0.8, 0.35, 1};
constexpr DrumSound kOpenHat{0, 0, 0.01, 0.01, 0, false, 0, 0.5, 0.9, HP, 7000, 0.8, 0.35, 1};
constexpr DrumSound kCrash{0, 0, 0.01, 0.01, 0, false, 0, 0.55, 2.2, HP, 5000, 0.6, -0.4, 0};
constexpr DrumSound kRide{0, 0, 0.01, 0.01, 0, false, 0, 0.35, 1.6, BP, 7000, 0.9, 0.45, 0};
constexpr DrumSound kRideBell{600, 0, 0.01, 0.9, 0.25, true, 1.48, 0.25, 0.8, HP, 6000, 0.8, 0.45, 0};
constexpr DrumSound kChina{0, 0, 0.01, 0.01, 0, false, 0, 0.6, 1.5, BP, 3500, 1.5, -0.5, 0};
constexpr DrumSound kSplash{0, 0, 0.01, 0.01, 0, false, 0, 0.5, 0.9, HP, 6000, 0.7, 0.3, 0};
constexpr DrumSound kTambourine{0, 0, 0.01, 0.01, 0, false, 0, 0.5, 0.25, HP, 9000, 1.2, 0.5, 0};
constexpr DrumSound kCowbell{560, 0, 0.01, 0.35, 0.35, true, 1.48, 0, 0.01, BP, 1000, 1, 0.3, 0};
constexpr DrumSound kVibraslap{0, 0, 0.01, 0.01, 0, false, 0, 0.4, 0.8, BP, 3000, 4.0, 0.4, 0};
constexpr DrumSound kBongoHigh{420, 0.3, 0.01, 0.18, 0.8, false, 0, 0.1, 0.02, BP, 3000, 1, 0.4, 0};
constexpr DrumSound kBongoLow{300, 0.3, 0.01, 0.22, 0.8, false, 0, 0.1, 0.02, BP, 3000, 1, 0.3, 0};
constexpr DrumSound kCongaMute{330, 0.2, 0.01, 0.1, 0.8, false, 0, 0.15, 0.02, BP, 2500, 1, -0.3, 0};
constexpr DrumSound kCongaHigh{330, 0.2, 0.01, 0.3, 0.8, false, 0, 0.1, 0.02, BP, 2500, 1, -0.3, 0};
constexpr DrumSound kCongaLow{220, 0.2, 0.01, 0.35, 0.8, false, 0, 0.1, 0.02, BP, 2500, 1, -0.4, 0};
constexpr DrumSound kTimbaleHigh{520, 0.1, 0.01, 0.3, 0.6, false, 1.5, 0.2, 0.1, BP, 4000, 1, 0.2, 0};
constexpr DrumSound kTimbaleLow{380, 0.1, 0.01, 0.35, 0.6, false, 1.5, 0.2, 0.1, BP, 3500, 1, 0.1, 0};
constexpr DrumSound kAgogoHigh{920, 0, 0.01, 0.3, 0.4, true, 1.5, 0, 0.01, BP, 1000, 1, 0.3, 0};
constexpr DrumSound kAgogoLow{690, 0, 0.01, 0.35, 0.4, true, 1.5, 0, 0.01, BP, 1000, 1, 0.2, 0};
constexpr DrumSound kCabasa{0, 0, 0.01, 0.01, 0, false, 0, 0.4, 0.12, HP, 7000, 1, 0.5, 0};
constexpr DrumSound kMaracas{0, 0, 0.01, 0.01, 0, false, 0, 0.35, 0.07, HP, 9000, 1, -0.5, 0};
constexpr DrumSound kWhistleShort{2300, 0, 0.01, 0.2, 0.3, false, 0, 0.05, 0.2, BP, 2300, 3, 0.6, 2};
constexpr DrumSound kWhistleLong{2300, 0, 0.01, 0.6, 0.3, false, 0, 0.05, 0.6, BP, 2300, 3, 0.6, 2};
constexpr DrumSound kGuiroShort{0, 0, 0.01, 0.01, 0, false, 0, 0.4, 0.1, BP, 3500, 3, 0.5, 3};
constexpr DrumSound kGuiroLong{0, 0, 0.01, 0.01, 0, false, 0, 0.4, 0.35, BP, 3500, 3, 0.5, 3};
constexpr DrumSound kClaves{2500, 0, 0.01, 0.08, 0.6, false, 0, 0, 0.01, BP, 1000, 1, 0.4, 0};
constexpr DrumSound kWoodHigh{1800, 0.1, 0.005, 0.08, 0.6, false, 1.6, 0.05, 0.02, BP, 3000, 1, 0.2, 0};
constexpr DrumSound kWoodLow{1300, 0.1, 0.005, 0.09, 0.6, false, 1.6, 0.05, 0.02, BP, 3000, 1, 0.1, 0};
constexpr DrumSound kCuicaMute{700, 0.5, 0.05, 0.15, 0.5, false, 0, 0, 0.01, BP, 1000, 1, -0.3, 4};
constexpr DrumSound kCuicaOpen{450, -0.3, 0.15, 0.35, 0.5, false, 0, 0, 0.01, BP, 1000, 1, -0.3, 4};
constexpr DrumSound kTriangleMute{4200, 0, 0.01, 0.15, 0.25, false, 2.7, 0, 0.01, BP, 1000, 1, 0.5, 5};
constexpr DrumSound kTriangleOpen{4200, 0, 0.01, 1.5, 0.25, false, 2.7, 0, 0.01, BP, 1000, 1, 0.5, 5};

// Toms share a shape; their pitch rises with the key.
constexpr DrumSound Tom(double freq, double pan) {
    return DrumSound{freq, 0.5, 0.05, 0.5, 0.9, false, 0, 0.2, 0.06, LP, 3000, 0.7, pan, 0};
}

constexpr std::array<DrumSound, 6> kToms{Tom(80, 0.4), Tom(100, 0.3), Tom(125, 0.15), Tom(150, 0.0), Tom(180, -0.15), Tom(215, -0.3)};

// Keys 35..81 in General MIDI order.
constexpr std::array<const DrumSound*, 47> kKeys{
    &kKick, &kKickHard, &kSideStick, &kSnare, &kClap, &kSnareBright,  // 35-40
    &kToms[0], &kClosedHat, &kToms[1], &kPedalHat, &kToms[2], &kOpenHat,  // 41-46
    &kToms[3], &kToms[4], &kCrash, &kToms[5], &kRide, &kChina,  // 47-52
    &kRideBell, &kTambourine, &kSplash, &kCowbell, &kCrash, &kVibraslap,  // 53-58
    &kRide, &kBongoHigh, &kBongoLow, &kCongaMute, &kCongaHigh, &kCongaLow,  // 59-64
    &kTimbaleHigh, &kTimbaleLow, &kAgogoHigh, &kAgogoLow, &kCabasa, &kMaracas,  // 65-70
    &kWhistleShort, &kWhistleLong, &kGuiroShort, &kGuiroLong, &kClaves, &kWoodHigh,  // 71-76
    &kWoodLow, &kCuicaMute, &kCuicaOpen, &kTriangleMute, &kTriangleOpen,  // 77-81
};

}  // namespace

const DrumSound* DrumForKey(int key) {
    if (key < 35 || key > 81) return nullptr;
    return kKeys[key - 35];
}

}  // namespace tone
