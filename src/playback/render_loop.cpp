#include "playback/render_loop.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "vsthost/block_request.h"

namespace tavren {

namespace {

constexpr size_t kReservedEvents = 128;
constexpr double kSilenceLevel = 0.001;

// Instance 0 overwrites the block, the others add into it. An instance
// that rendered nothing (its host gone) adds nothing.
template <typename Sample>
void MixPart(const InstanceBlock& part, Sample* out, int32_t frames, bool first) {
    if (!part.rendered) {
        if (first) std::fill(out, out + 2 * static_cast<ptrdiff_t>(frames), Sample(0));
        return;
    }
    const auto* left = static_cast<const Sample*>(part.left);
    const auto* right = static_cast<const Sample*>(part.right);
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

// Posts one block for every instance in the next slot: instance i gets
// lists[i], or shared for all. Gives the slot.
int32_t PostInstances(PlaybackState& state, const EventList* shared, int32_t frames, uint64_t blockStart,
                      const SeekClock* clock) {
    const int32_t index = state.nextSlot;
    state.nextSlot ^= 1;
    BlockSlot& slot = state.slots[index];
    const size_t samples = 2 * static_cast<size_t>(frames);  // per instance, room for doubles
    if (slot.output.size() < samples * state.instanceCount) slot.output.resize(samples * state.instanceCount);
    BlockRequest& request = slot.request;
    request.count = state.instanceCount;
    request.bounded = clock != nullptr;
    request.clockStart = clock ? clock->start : 0;
    request.limitMs = clock ? clock->limitMs : 0;
    request.cancelled.store(false, std::memory_order_relaxed);
    for (int32_t i = 0; i < state.instanceCount; ++i) {
        InstanceBlock& part = request.parts[i];
        part.instance = state.instances[i];
        // Each instance gets records of its own, as it would call by call.
        part.events = BuildEvents(shared ? *shared : state.lists[i], blockStart, slot.events[i]);
        part.frames = frames;
        part.blockStart = blockStart;
        part.left = slot.output.data() + samples * i;
        part.right = slot.output.data() + samples * i + frames;
    }
    PostBlock(request);
    return index;
}

// Waits for the block in slot and mixes it into buffer, when there is one.
int32_t FinishInstances(PlaybackState& state, int32_t index, void* buffer, int32_t frames) {
    BlockRequest& request = state.slots[index].request;
    // With a block queued behind this one, the host has work to go on with:
    // the wait sleeps until this one is due instead of asking to be woken.
    WaitBlock(request, state.aheadSlot >= 0 ? state.serviceMicros : 0);
    state.serviceMicros = request.serviceMicros;
    if (request.failed) state.failed = true;
    if (state.failed) return 0;
    if (!buffer) return frames;
    // Every instance was prepared in the song's width, the one the host's buffer has.
    for (int32_t i = 0; i < request.count; ++i) {
        if (state.useDouble)
            MixPart(request.parts[i], static_cast<double*>(buffer), frames, i == 0);
        else
            MixPart(request.parts[i], static_cast<float*>(buffer), frames, i == 0);
    }
    return frames;
}

int32_t RenderInstances(PlaybackState& state, void* buffer) {
    const int32_t index = PostInstances(state, nullptr, state.blockSize, state.playPosition, nullptr);
    return FinishInstances(state, index, buffer, state.blockSize);
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

void Gather(PlaybackState& state, uint64_t blockStart) {
    EventList* lists = state.lists;
    int64_t blockEnd = static_cast<int64_t>(blockStart + static_cast<uint64_t>(state.blockSize));
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

int32_t ProcessInstances(PlaybackState& state, const EventList* shared, int32_t frames, uint64_t blockStart,
                         const SeekClock* clock) {
    const int32_t index = PostInstances(state, shared, frames, blockStart, clock);
    BlockRequest& request = state.slots[index].request;
    WaitBlock(request);
    if (request.failed) state.failed = true;
    return request.served;
}

void SettleAhead(PlaybackState& state) {
    if (state.aheadSlot >= 0) WaitBlock(state.slots[state.aheadSlot].request);
}

void DiscardAhead(PlaybackState& state) {
    if (state.aheadSlot < 0) return;
    BlockRequest& request = state.slots[state.aheadSlot].request;
    request.cancelled.store(true, std::memory_order_relaxed);
    WaitBlock(request);
    state.aheadSlot = -1;
}

int32_t RenderBlock(PlaybackState& state, void* buffer, bool renderAhead) {
    // The song ended at an instrument's fault; a block posted ahead is left to DiscardAhead.
    if (state.failed) return 0;
    int32_t index = state.aheadSlot;
    state.aheadSlot = -1;
    if (index < 0) {
        ClearLists(state);
        if (state.nextEvent == state.eventEnd) {
            int32_t half = state.sampleRate / 2;
            uint64_t limit = state.songLength + 5 * static_cast<uint64_t>(state.sampleRate);
            if (state.playPosition >= limit || state.silentFrames >= half) {
                if (state.loopStart < 0) return 0;
            } else {
                int32_t result = RenderInstances(state, buffer);
                if (state.failed) return 0;
                if (state.loopStart < 0) return buffer ? CountSilence(state, buffer, result) : result;
                // A looping song renders this tail block and then, over it, the
                // block at the loop marker: the instruments advance by two blocks.
            }
            state.nextEvent = state.loopStart;
            state.playPosition = static_cast<uint64_t>(EventAt(*state.song, state.loopStart).time);
        }
        Gather(state, state.playPosition);
        index = PostInstances(state, nullptr, state.blockSize, state.playPosition, nullptr);
    }
    // Events still pending make the next block a plain one whatever this one
    // sounds like: it renders while this one is handed back.
    if (renderAhead && state.nextEvent < state.eventEnd && !state.failed) {
        const uint64_t next = state.playPosition + static_cast<uint64_t>(state.blockSize);
        ClearLists(state);
        Gather(state, next);
        state.aheadSlot = PostInstances(state, nullptr, state.blockSize, next, nullptr);
    }
    return FinishInstances(state, index, buffer, state.blockSize);
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
    int32_t frames = RenderBlock(state, buffer, true);
    state.playPosition += static_cast<uint64_t>(frames);
    ApplyVolume(buffer, frames, state.useDouble, state.volumeFactor);
    return frames;
}

}  // namespace tavren
