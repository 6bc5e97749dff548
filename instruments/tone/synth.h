// The synthesizer engine: sixteen channels, a fixed pool of voices, and a
// queue of timed events for the current block. Owns no heap memory: an
// instance is allocated once, when the plug-in is created.
// - SetSampleRate(rate): used by notes started afterwards.
// - Reset(): power-on state, silent at once (the host does this per song).
// - QueueMidi / QueueSysex(offset, ...): an event at `offset` frames into the
//   current block; sysex is parsed here, so the bytes need not outlive the call.
// - Render(left, right, frames): overwrites the buffers with the next frames of
//   the current block, applying queued events on their frame.
// - EndBlock(): applies events past the block's end and starts a new block.
// [audio thread] everything after construction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "channel_state.h"
#include "voice.h"

namespace tone {

class Synth {
public:
    static constexpr int kChannels = 16;
    static constexpr int kDrumChannel = 9;
    static constexpr int kPolyphony = 64;
    // Spare slots let stolen voices finish their fade while new notes start.
    static constexpr int kVoiceSlots = kPolyphony + 16;
    static constexpr int kMaxQueued = 4096;

    void SetSampleRate(double rate);
    void Reset();
    void QueueMidi(int offset, uint8_t status, uint8_t data1, uint8_t data2);
    void QueueSysex(int offset, const uint8_t* bytes, size_t size);
    void Render(double* left, double* right, int frames);
    void EndBlock();

    int SoundingVoices() const;

private:
    struct Event {
        enum class Kind : uint8_t { Midi, Reset, MasterVolume };
        int offset;
        Kind kind;
        uint8_t status, data1, data2;
        double value;
    };

    void Queue(const Event& event);
    void Apply(const Event& event);
    void OnMidi(uint8_t status, uint8_t data1, uint8_t data2);
    void NoteOn(int channel, int key, int velocity);
    void NoteOff(int channel, int key);
    void OnController(int channel, int cc, int value);
    void ReleaseChannel(int channel, bool onlySustained);
    void ResetAll();
    Voice& AllocateVoice();
    VoiceControl ControlFor(int channel) const;
    void UpdateControls();

    std::array<Voice, kVoiceSlots> voices{};
    std::array<ChannelState, kChannels> channels{};
    std::array<Event, kMaxQueued> queue{};
    int queued = 0;
    int nextEvent = 0;
    int blockPosition = 0;
    uint64_t clock = 0;
    uint64_t lastControlClock = UINT64_MAX;
    uint64_t notesStarted = 0;
    double sampleRate = 44100.0;
    double masterVolume = 1.0;
};

}  // namespace tone
