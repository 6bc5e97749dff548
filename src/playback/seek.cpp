#include "playback/seek.h"

#include "platform/platform.h"
#include "playback/render_loop.h"
#include "playback/reset_sequence.h"

namespace tavren {

uint64_t Seek(PlaybackState& state, uint64_t target) {
    state.silentFrames = 0;
    if (state.blockSize <= 0) return state.playPosition;
    uint64_t blockTarget = target - target % static_cast<uint64_t>(state.blockSize);
    // The decision compares the block target, not the target itself.
    if (blockTarget == 0 || blockTarget < state.playPosition) ResetSequence(state);

    uint32_t start = platform::TickCount();
    while (state.playPosition < blockTarget) {
        RenderBlock(state, nullptr);
        state.playPosition += static_cast<uint64_t>(state.blockSize);
        if (platform::TickCount() - start > kSeekTimeLimitMs) break;
    }
    return state.playPosition;
}

}  // namespace tavren
