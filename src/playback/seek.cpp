#include "playback/seek.h"

#include "platform/platform.h"
#include "playback/render_loop.h"
#include "playback/reset_sequence.h"

namespace tavren {

uint64_t Seek(PlaybackState& state, uint64_t target) {
    if (state.failed) return state.playPosition;
    state.silentFrames = 0;
    if (state.blockSize <= 0) return state.playPosition;
    uint64_t blockTarget = target - target % static_cast<uint64_t>(state.blockSize);
    // The decision compares the block target, not the target itself.
    // One bound for the reset and the play-through: an instrument slow enough
    // to take seconds per block must not hold the host player's seek longer.
    const SeekClock clock{platform::TickCount(), kSeekTimeLimitMs};
    if (blockTarget == 0 || blockTarget < state.playPosition) {
        // A block rendered ahead is one the instruments will not be asked
        // for: what it did is undone by the reset.
        DiscardAhead(state);
        if (!ResetSequence(state, clock)) return state.playPosition;
    }
    // A block rendered ahead for playPosition is the first of the way (or,
    // when the target lies in it, kept for the next Render). The way renders
    // ahead as Render does: the last block's successor is then in flight for
    // the Render that follows.
    while (state.playPosition < blockTarget) {
        // Without a buffer only the tail's time limit ends a song: nothing is
        // left to deliver, so the rest of the way costs nothing (a seek to a
        // huge position no longer spins for its whole five seconds).
        if (RenderBlock(state, nullptr, true) == 0) {
            if (!state.failed) state.playPosition = blockTarget;
            break;
        }
        state.playPosition += static_cast<uint64_t>(state.blockSize);
        if (clock.TimeUp()) break;
    }
    return state.playPosition;
}

}  // namespace tavren
