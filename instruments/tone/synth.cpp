#include "synth.h"

#include <algorithm>

#include "drum_kit.h"
#include "patch.h"
#include "sysex.h"

namespace tone {
namespace {

// A soft knee instead of hard clipping, for the rare peak of a very dense mix.
constexpr double kKnee = 0.8;
constexpr double kHeadroom = 0.2;

double SoftLimit(double x) {
    const double a = x < 0.0 ? -x : x;
    if (a <= kKnee) return x;
    const double over = a - kKnee;
    const double y = kKnee + over / (1.0 + over / kHeadroom);
    return x < 0.0 ? -y : y;
}

}  // namespace

void Synth::SetSampleRate(double rate) {
    if (rate >= 8000.0 && rate <= 768000.0) sampleRate = rate;
}

void Synth::Reset() {
    for (Voice& voice : voices) voice.state = Voice::State::Idle;
    for (ChannelState& channel : channels) channel.Reset();
    masterVolume = 1.0;
    queued = nextEvent = blockPosition = 0;
    clock = 0;
    lastControlClock = UINT64_MAX;
}

void Synth::QueueMidi(int offset, uint8_t status, uint8_t data1, uint8_t data2) {
    Queue({offset, Event::Kind::Midi, status, static_cast<uint8_t>(data1 & 0x7F), static_cast<uint8_t>(data2 & 0x7F), 0.0});
}

void Synth::QueueSysex(int offset, const uint8_t* bytes, size_t size) {
    const SysexCommand command = ParseSysex(bytes, size);
    switch (command.kind) {
    case SysexCommand::Kind::Reset: Queue({offset, Event::Kind::Reset, 0, 0, 0, 0.0}); break;
    case SysexCommand::Kind::MasterVolume: Queue({offset, Event::Kind::MasterVolume, 0, 0, 0, command.value}); break;
    case SysexCommand::Kind::None: break;
    }
}

void Synth::Queue(const Event& event) {
    if (queued == kMaxQueued) {
        // Dropping a note-off would leave a note hanging; late is better than never.
        Apply(event);
        return;
    }
    // Hosts send events in order, but nothing promises it: keep the queue
    // sorted by offset, stable for equal offsets.
    int at = queued++;
    const int offset = std::max(event.offset, 0);
    while (at > nextEvent && queue[at - 1].offset > offset) {
        queue[at] = queue[at - 1];
        --at;
    }
    queue[at] = event;
    queue[at].offset = offset;
}

void Synth::Render(double* left, double* right, int frames) {
    std::fill(left, left + frames, 0.0);
    std::fill(right, right + frames, 0.0);
    int done = 0;
    while (done < frames) {
        // Control values change on a fixed grid of the synth's own clock, so
        // the output does not depend on how the host cuts its blocks.
        if (clock % kControlPeriod == 0 && clock != lastControlClock) {
            UpdateControls();
            lastControlClock = clock;
        }
        while (nextEvent < queued && queue[nextEvent].offset <= blockPosition) Apply(queue[nextEvent++]);

        int segment = std::min(frames - done, kControlPeriod - static_cast<int>(clock % kControlPeriod));
        if (nextEvent < queued) segment = std::min(segment, queue[nextEvent].offset - blockPosition);
        // Melodic voices go in pairs; drums and an odd one out alone.
        Voice* waiting = nullptr;
        for (Voice& voice : voices) {
            if (voice.state == Voice::State::Idle) continue;
            if (voice.drum) {
                voice.Render(left + done, right + done, segment);
            } else if (!waiting) {
                waiting = &voice;
            } else {
                Voice::RenderMelodicPair(*waiting, voice, left + done, right + done, segment);
                waiting = nullptr;
            }
        }
        if (waiting) waiting->Render(left + done, right + done, segment);
        done += segment;
        blockPosition += segment;
        clock += static_cast<uint64_t>(segment);
    }
    for (int i = 0; i < frames; ++i) {
        left[i] = SoftLimit(left[i]);
        right[i] = SoftLimit(right[i]);
    }
}

void Synth::EndBlock() {
    while (nextEvent < queued) Apply(queue[nextEvent++]);
    queued = nextEvent = blockPosition = 0;
}

int Synth::SoundingVoices() const {
    int count = 0;
    for (const Voice& voice : voices) count += voice.state != Voice::State::Idle;
    return count;
}

void Synth::Apply(const Event& event) {
    switch (event.kind) {
    case Event::Kind::Midi: OnMidi(event.status, event.data1, event.data2); break;
    case Event::Kind::Reset: ResetAll(); break;
    case Event::Kind::MasterVolume: masterVolume = std::clamp(event.value, 0.0, 1.0); break;
    }
}

void Synth::OnMidi(uint8_t status, uint8_t data1, uint8_t data2) {
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80: NoteOff(channel, data1); break;
    case 0x90: data2 == 0 ? NoteOff(channel, data1) : NoteOn(channel, data1, data2); break;
    case 0xB0: OnController(channel, data1, data2); break;
    case 0xC0: channels[channel].OnProgram(data1); break;
    case 0xE0: channels[channel].OnPitchBend(data1 | (data2 << 7)); break;
    default: break;  // aftertouch and system messages do not change the sound
    }
}

void Synth::NoteOn(int channel, int key, int velocity) {
    if (channel == kDrumChannel) {
        const DrumSound* drum = DrumForKey(key);
        if (drum == nullptr) return;
        for (Voice& voice : voices) {
            if (voice.state == Voice::State::Idle || voice.channel != channel) continue;
            const bool choked = drum->chokeGroup != 0 && voice.chokeGroup == drum->chokeGroup;
            if (choked || voice.key == key) voice.FadeOut();
        }
        Voice& voice = AllocateVoice();
        voice.StartDrum(*drum, channel, key, velocity, sampleRate, ++notesStarted);
        voice.Update(ControlFor(channel), true);
        return;
    }
    // A repeated key lets the previous strike ring out in its release.
    for (Voice& voice : voices) {
        if (voice.state == Voice::State::Held && voice.channel == channel && voice.key == key) voice.Release();
    }
    Voice& voice = AllocateVoice();
    voice.StartMelodic(PatchForProgram(channels[channel].program), channel, key, velocity, sampleRate, ++notesStarted);
    voice.Update(ControlFor(channel), true);
}

void Synth::NoteOff(int channel, int key) {
    const bool pedal = channels[channel].sustain;
    for (Voice& voice : voices) {
        if (voice.state != Voice::State::Held || voice.drum || voice.channel != channel || voice.key != key) continue;
        if (pedal) {
            voice.sustained = true;
        } else {
            voice.Release();
        }
    }
}

void Synth::OnController(int channel, int cc, int value) {
    if (channels[channel].OnController(cc, value)) return;
    switch (cc) {
    case 64:   // pedal lifted
    case 121:  // reset all controllers lifts it too
        ReleaseChannel(channel, true);
        break;
    case 120:
        for (Voice& voice : voices) {
            if (voice.channel == channel) voice.FadeOut();
        }
        break;
    default:  // 123..127: all notes off, also implied by the mode messages
        ReleaseChannel(channel, false);
        break;
    }
}

void Synth::ReleaseChannel(int channel, bool onlySustained) {
    for (Voice& voice : voices) {
        if (voice.state != Voice::State::Held || voice.drum || voice.channel != channel) continue;
        if (!onlySustained || voice.sustained) voice.Release();
    }
}

void Synth::ResetAll() {
    for (Voice& voice : voices) voice.FadeOut();
    for (ChannelState& channel : channels) channel.Reset();
    masterVolume = 1.0;
}

Voice& Synth::AllocateVoice() {
    int sounding = 0;
    Voice* victim = nullptr;
    bool victimReleased = false;
    for (Voice& voice : voices) {
        if (voice.state == Voice::State::Idle || voice.state == Voice::State::Dying) continue;
        ++sounding;
        // Released notes and drums go first, quietest first; then the oldest held note.
        const bool released = voice.state == Voice::State::Released || voice.drum;
        if (victim == nullptr || (released && !victimReleased)) {
            victim = &voice;
            victimReleased = released;
        } else if (released == victimReleased) {
            const bool better = released ? voice.Loudness() < victim->Loudness() : voice.order < victim->order;
            if (better) victim = &voice;
        }
    }
    if (sounding >= kPolyphony && victim != nullptr) victim->FadeOut();

    Voice* quietestDying = nullptr;
    for (Voice& voice : voices) {
        if (voice.state == Voice::State::Idle) return voice;
        if (voice.state == Voice::State::Dying && (quietestDying == nullptr || voice.Loudness() < quietestDying->Loudness())) {
            quietestDying = &voice;
        }
    }
    // Only reached when every spare slot is still fading: cut the quietest fade short.
    return *quietestDying;
}

VoiceControl Synth::ControlFor(int channel) const {
    const ChannelState& state = channels[channel];
    return {state.BendSemitones(), state.VibratoDepth(), masterVolume * masterVolume * state.Gain(), state.PanPosition()};
}

void Synth::UpdateControls() {
    std::array<VoiceControl, kChannels> controls;
    for (int channel = 0; channel < kChannels; ++channel) controls[channel] = ControlFor(channel);
    for (Voice& voice : voices) {
        if (voice.state != Voice::State::Idle) voice.Update(controls[voice.channel], false);
    }
}

}  // namespace tone
