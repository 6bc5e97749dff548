#include "channel_state.h"

namespace tone {
namespace {
constexpr int kNull = 127;  // the "no parameter selected" value of both RPN bytes
}

void ChannelState::Reset() {
    program = 0;
    bankMsb = 0;
    bankLsb = 0;
    volume = 100;
    pan = 64;
    bendRangeSemis = 2;
    bendRangeCents = 0;
    ResetControllers();
}

void ChannelState::ResetControllers() {
    expression = 127;
    modulation = 0;
    sustain = false;
    bend = 0;
    rpnMsb = kNull;
    rpnLsb = kNull;
}

bool ChannelState::OnController(int cc, int value) {
    switch (cc) {
    case 0: bankMsb = value; return true;
    case 32: bankLsb = value; return true;
    case 1: modulation = value; return true;
    case 7: volume = value; return true;
    case 10: pan = value; return true;
    case 11: expression = value; return true;
    case 64: {
        const bool down = value >= 64;
        const bool released = sustain && !down;
        sustain = down;
        return !released;
    }
    case 101: rpnMsb = value; return true;
    case 100: rpnLsb = value; return true;
    // Selecting a non-registered parameter deselects the registered one, so
    // that later data entry cannot change the bend range by accident.
    case 99:
    case 98: rpnMsb = kNull; rpnLsb = kNull; return true;
    case 6:
        if (rpnMsb == 0 && rpnLsb == 0) bendRangeSemis = value > 24 ? 24 : value;
        return true;
    case 38:
        if (rpnMsb == 0 && rpnLsb == 0) bendRangeCents = value > 99 ? 99 : value;
        return true;
    case 121: ResetControllers(); return false;
    case 120:
    case 123:
    case 124:
    case 125:
    case 126:
    case 127: return false;
    default: return true;
    }
}

double ChannelState::Gain() const {
    const double v = volume / 127.0;
    const double e = expression / 127.0;
    return v * v * e * e;
}

double ChannelState::PanPosition() const { return pan <= 1 ? 0.0 : (pan - 1) / 126.0; }

double ChannelState::BendSemitones() const {
    return bend / 8192.0 * (bendRangeSemis + bendRangeCents / 100.0);
}

double ChannelState::VibratoDepth() const { return modulation / 127.0 * 0.5; }

}  // namespace tone
