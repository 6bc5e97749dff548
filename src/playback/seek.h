// Seeking by playing through: an instrument cannot jump in time, so the
// song is played into the instruments without output up to the block that
// holds the target, from the current position when it lies ahead, else
// from the start after the song-start reset. Bounded by five seconds of
// wall-clock time.
#pragma once

#include <cstdint>

#include "playback/playback_state.h"

namespace tavren {

constexpr uint32_t kSeekTimeLimitMs = 5000;

// [decoding thread] Gives the position reached: the target's block start,
// or less when the time limit cut the play-through short.
uint64_t Seek(PlaybackState& state, uint64_t target);

}  // namespace tavren
