#include "playback/render_loop.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "vsthost/host_thread.h"
#include "vsthost/instance.h"
#include "vsthost/vst2.h"

namespace tavren {

namespace {

constexpr size_t kReservedEvents = 128;
constexpr double kSilenceLevel = 0.001;

// Bytes of a channel message: program change and channel pressure have one data byte.
int32_t MessageLength(uint32_t message) {
    uint32_t kind = message & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

template <typename Sample>
void MixInstance(const VstiInstance* instance, Sample* out, int32_t frames, bool first) {
    const auto* left = static_cast<const Sample*>(instance->channels[0]);
    const auto* right = static_cast<const Sample*>(instance->channels[1]);
    if (first) {
        for (int32_t k = 0; k < frames; ++k) {
            out[2 * k] = left[k];
            out[2 * k + 1] = right[k];
        }
    } else {
        for (int32_t k = 0; k < frames; ++k) {
            out[2 * k] += left[k];
            out[2 * k + 1] += right[k];
        }
    }
}

// Instance 0 overwrites the block, the others add into it. Every instance
// was prepared in the song's width, the one the host's buffer has.
int32_t RenderInstance(PlaybackState& state, int32_t i, void* buffer) {
    VstiInstance* instance = state.instances[i];
    const int32_t frames = state.blockSize;
    ProcessBlock(instance, state.lists[i], frames, state.playPosition, state.eventBlock);
    if (!buffer) return frames;
    if (state.useDouble)
        MixInstance(instance, static_cast<double*>(buffer), frames, i == 0);
    else
        MixInstance(instance, static_cast<float*>(buffer), frames, i == 0);
    return frames;
}

int32_t RenderInstances(PlaybackState& state, void* buffer) {
    int32_t result = 0;
    for (int32_t i = 0; i < state.instanceCount; ++i) result = RenderInstance(state, i, buffer);
    return result;
}

// Empties the lists of the block, keeping their storage.
void ClearLists(PlaybackState& state) {
    for (int32_t i = 0; i < state.instanceCount; ++i) {
        state.lists[i].clear();
        if (state.lists[i].capacity() < kReservedEvents) state.lists[i].reserve(kReservedEvents);
    }
}

// Index of the last interleaved sample beyond ±0.001, or -1.
template <typename Sample>
int64_t LastLoudSample(const Sample* samples, int64_t count) {
    for (int64_t k = count - 1; k >= 0; --k) {
        double v = static_cast<double>(samples[k]);
        if (v > kSilenceLevel || v < -kSilenceLevel) return k;
    }
    return -1;
}

// The tail's silence test on the block just written. Gives the frames to
// report for this block.
int32_t CountSilence(PlaybackState& state, const void* buffer, int32_t result) {
    int64_t count = 2 * static_cast<int64_t>(state.blockSize);
    int64_t k = state.useDouble ? LastLoudSample(static_cast<const double*>(buffer), count)
                                : LastLoudSample(static_cast<const float*>(buffer), count);
    if (k >= 0) {
        state.silentFrames = state.blockSize - static_cast<int32_t>(k / 2) - 1;
        return result;
    }
    state.silentFrames += state.blockSize;
    int32_t half = state.sampleRate / 2;
    // The short final block that ends the song.
    if (state.silentFrames >= half) return state.silentFrames - half;
    return result;
}

void Gather(PlaybackState& state) {
    EventList* lists = state.lists;
    int64_t blockEnd = static_cast<int64_t>(state.playPosition + static_cast<uint64_t>(state.blockSize));
    for (; state.nextEvent < state.eventEnd; ++state.nextEvent) {
        const SongEvent& e = EventAt(*state.song, state.nextEvent);
        if (e.time >= blockEnd) break;
        if (e.message == MsgSysexAllPorts) {
            for (int32_t i = 0; i < state.instanceCount; ++i) lists[i].push_back(&e);
        } else {
            int32_t target = e.port >= 0 && e.port < state.instanceCount ? e.port : 0;
            lists[target].push_back(&e);
        }
    }
}

}  // namespace

void ProcessBlock(VstiInstance* instance, const EventList& list, int32_t frames, uint64_t blockStart,
                  EventBlock& scratch) {
    const size_t n = list.size();
    // Sized for n pointers after the fixed head; grown, never shrunk.
    const size_t headBytes =
        std::max(sizeof(vst2::VstEvents), offsetof(vst2::VstEvents, events) + n * sizeof(vst2::VstEvent*));
    if (scratch.head.size() < headBytes) scratch.head.resize(headBytes);
    if (scratch.records.size() < n) scratch.records.resize(n);
    std::memset(scratch.head.data(), 0, headBytes);
    if (n) std::memset(static_cast<void*>(scratch.records.data()), 0, n * sizeof(EventRecord));
    auto* events = reinterpret_cast<vst2::VstEvents*>(scratch.head.data());
    vst2::VstEvent** pointers = vst2::EventPointers(events);
    EventRecord* records = scratch.records.data();

    instance->timeInfo.samplePos = static_cast<double>(blockStart);
    int32_t delivered = 0;
    for (size_t i = 0; i < n; ++i) {
        const SongEvent& e = *list[i];
        if (IsEndOfTrack(e.message)) continue;  // never delivered to the instrument
        int64_t offset = e.time - static_cast<int64_t>(blockStart);
        if (offset < 0) offset = 0;
        EventRecord& record = records[i];
        if (IsSysexMessage(e.message)) {
            record.sysex.type = vst2::kVstSysExType;
            record.sysex.byteSize = sizeof(vst2::VstMidiSysexEvent);
            record.sysex.deltaFrames = static_cast<int32_t>(offset);
            record.sysex.dumpBytes = static_cast<int32_t>(e.sysex.size());
            record.sysex.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(e.sysex.data()));
        } else {
            record.midi.type = vst2::kVstMidiType;
            record.midi.byteSize = sizeof(vst2::VstMidiEvent);
            record.midi.deltaFrames = static_cast<int32_t>(offset);
            record.midi.noteLength = MessageLength(e.message);
            for (int b = 0; b < 4; ++b) record.midi.midiData[b] = static_cast<char>((e.message >> (8 * b)) & 0xFF);
        }
        pointers[delivered++] = reinterpret_cast<vst2::VstEvent*>(&record);
    }
    events->numEvents = delivered;
    Dispatch(instance, vst2::effProcessEvents, 0, events, 0.0f);
    if (frames > 0) ProcessOnHost(instance, frames);
    // The records die here: the instrument must have copied what it keeps.
    instance->timeInfo.samplePos += frames;
}

int32_t RenderBlock(PlaybackState& state, void* buffer) {
    ClearLists(state);
    if (state.nextEvent == state.eventEnd) {
        int32_t half = state.sampleRate / 2;
        uint64_t limit = state.songLength + 5 * static_cast<uint64_t>(state.sampleRate);
        if (state.playPosition >= limit || state.silentFrames >= half) {
            if (state.loopStart < 0) return 0;
        } else {
            int32_t result = RenderInstances(state, buffer);
            if (state.loopStart < 0) return buffer ? CountSilence(state, buffer, result) : result;
            // A looping song renders this tail block and then, over it, the
            // block at the loop marker: the instruments advance by two blocks.
        }
        state.nextEvent = state.loopStart;
        state.playPosition = static_cast<uint64_t>(EventAt(*state.song, state.loopStart).time);
    }
    Gather(state);
    return RenderInstances(state, buffer);
}

void ApplyVolume(void* buffer, int32_t frames, bool useDouble, double factor) {
    if (factor == 1.0 || !buffer) return;
    int64_t count = 2 * static_cast<int64_t>(frames);
    if (useDouble) {
        auto* samples = static_cast<double*>(buffer);
        for (int64_t k = 0; k < count; ++k) samples[k] *= factor;
    } else {
        auto* samples = static_cast<float*>(buffer);
        for (int64_t k = 0; k < count; ++k) samples[k] = static_cast<float>(static_cast<double>(samples[k]) * factor);
    }
}

int32_t Render(PlaybackState& state, void* buffer) {
    int32_t frames = RenderBlock(state, buffer);
    state.playPosition += static_cast<uint64_t>(frames);
    ApplyVolume(buffer, frames, state.useDouble, state.volumeFactor);
    return frames;
}

}  // namespace tavren
