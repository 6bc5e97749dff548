// The song-start reset: before a song plays from its start again, every
// instance gets notes off, bank/program/pressure/bend, registered parameters
// and controllers to their defaults, GM SYSTEM ON, the configured reset
// message (unless the song itself brings XG SYSTEM ON), then about a second
// of rendering to settle. Each batch costs every instance one block.
#pragma once

#include <cstdint>

#include "playback/playback_state.h"

namespace tavren {

// [decoding thread] Sends the batches to every instance and leaves the
// state at the song's start (nextEvent and playPosition 0). Stops after the
// instance whose block took the time past the clock's bound (an instrument
// too slow for it then misses the rest); false when it did.
bool ResetSequence(PlaybackState& state, const SeekClock& clock);

// Empty blocks that let the instruments settle: about one second.
int32_t SettlingBlocks(int32_t sampleRate, int32_t blockSize);

}  // namespace tavren
