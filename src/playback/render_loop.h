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
int32_t RenderBlock(PlaybackState& state, void* buffer);

// [decoding thread] RenderBlock, then playPosition advanced and the volume applied.
int32_t Render(PlaybackState& state, void* buffer);

// Delivers list to the instance (effProcessEvents, also when empty) and has
// it render frames on the host thread. blockStart is the block's song time;
// scratch holds the records for the call (the instrument must copy what it keeps).
void ProcessBlock(VstiInstance* instance, const EventList& list, int32_t frames, uint64_t blockStart,
                  EventBlock& scratch);

// Multiplies the 2 * frames samples by factor, unless it is exactly 1.0.
void ApplyVolume(void* buffer, int32_t frames, bool useDouble, double factor);

}  // namespace tavren
