// The render loop: one block of audio per call. The events due in the block
// go to their port's instance (instance 0 for ports without one, SysEx for
// all ports to every instance) with their offsets; every instance renders
// the block on the host thread; instance 0's first two outputs are copied
// and the others' added into interleaved stereo. After the last event the
// song rings out until half a second of near-silence or five seconds past
// its length; a song with a loop marker starts over at the marker instead.
#pragma once

#include <cstdint>

#include "playback/playback_state.h"

namespace tavren {

// [decoding thread] One block into buffer (interleaved, float or double as
// state.useDouble), or played without output when buffer is null. Gives the
// frames of the block, 0 once the song has ended. Does not advance
// playPosition. Blocks rendered without a buffer leave silentFrames as it is.
// A block posted ahead for playPosition is the one taken. With renderAhead,
// when the next block is sure to be one of plain events (not the tail, which
// depends on this block's sound), it is posted before this one is mixed, so
// the instruments render it while the host player takes this one.
int32_t RenderBlock(PlaybackState& state, void* buffer, bool renderAhead = false);

// [decoding thread] RenderBlock rendering ahead, then playPosition advanced
// and the volume applied.
int32_t Render(PlaybackState& state, void* buffer);

// [decoding thread] Waits until a block posted ahead has been rendered,
// keeping it for the next Render: what the instruments have been sent is
// then settled (a test reading an instrument's log needs that).
void SettleAhead(PlaybackState& state);

// [decoding thread] Drops a block posted ahead: the parts not yet begun are
// skipped, and it returns once the host is done with it. Before the
// instruments are reset or stopped.
void DiscardAhead(PlaybackState& state);

// [decoding thread] One block for the first instanceCount instances, carried
// to their host in one request: instance i gets lists[i], or shared when it
// is given (the same events for every instance), at offsets from
// blockStart, and renders frames. With a clock the host stops after the
// instance whose block took the time past its bound. Gives the instances
// served; their outputs are in state.request.
int32_t ProcessInstances(PlaybackState& state, const EventList* shared, int32_t frames, uint64_t blockStart,
                         const SeekClock* clock = nullptr);

// Multiplies the 2 * frames samples by factor, unless it is exactly 1.0.
void ApplyVolume(void* buffer, int32_t frames, bool useDouble, double factor);

}  // namespace tavren
