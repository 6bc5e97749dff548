// The controller state of one MIDI channel.
// - Reset(): power-on defaults (program 0, volume 100, pan centre, bend range 2).
// - ResetControllers(): what "reset all controllers" restores; volume, pan
//   and program stay, as the recommended practice asks.
// - OnController(cc, value): stores a controller, including the registered
//   parameter sequence for the bend range; returns false for the channel-mode
//   messages that the synth itself must act on (sustain off, 120, 121, 123..127).
// - Gain(), PanPosition(), BendSemitones(), VibratoDepth(): derived values.
#pragma once

namespace tone {

class ChannelState {
public:
    ChannelState() { Reset(); }

    void Reset();
    void ResetControllers();
    bool OnController(int cc, int value);
    void OnPitchBend(int value14) { bend = value14 - 8192; }
    void OnProgram(int value) { program = value & 0x7F; }

    double Gain() const;              // volume and expression, squared per the usual curve
    double PanPosition() const;       // 0 left .. 1 right
    double BendSemitones() const;
    double VibratoDepth() const;      // semitones from the modulation wheel

    int program;
    int bankMsb;
    int bankLsb;
    int volume;
    int expression;
    int pan;
    int modulation;
    bool sustain;
    int bend;          // -8192..8191
    int bendRangeSemis;
    int bendRangeCents;

private:
    int rpnMsb;
    int rpnLsb;
};

}  // namespace tone
