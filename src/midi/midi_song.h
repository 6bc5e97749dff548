// The song a decoder holds between open and close: read-only once filled.
//   MidiSong   events in playing order plus the song-wide facts the reader found
//   EventAt    events[index], or a shared default event for any index outside
//              0..eventCount-1 (also negative ones), so callers may run past the end
//   EmptySong  the empty state: no array, counts 0, portCount 1
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/reset_kind.h"
#include "midi/song_event.h"

namespace tavren {

struct MidiSong {
    std::vector<SongEvent> events;  // exactly eventCount records, no spare capacity
    int32_t eventCount = 0;
    ResetKind detectedReset = ResetKind::GmSystemOn;
    int64_t lengthSamples = 0;  // latest End of Track time; 0 without one
    int32_t portCount = 1;      // highest announced port + 1, up to 256
};

const SongEvent& EventAt(const MidiSong& song, int32_t index);

// Releases the array (not just its contents) and restores the defaults.
void EmptySong(MidiSong& song);

}  // namespace tavren
