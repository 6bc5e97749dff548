#include "midi/midi_song.h"

namespace tavren {

const SongEvent& EventAt(const MidiSong& song, int32_t index) {
    // Function-local static: created once, thread-safely, on first use.
    static const SongEvent defaultEvent;
    if (index < 0 || index >= song.eventCount) return defaultEvent;
    return song.events[static_cast<size_t>(index)];
}

void EmptySong(MidiSong& song) {
    std::vector<SongEvent>().swap(song.events);
    song.eventCount = 0;
    song.detectedReset = ResetKind::GmSystemOn;
    song.lengthSamples = 0;
    song.portCount = 1;
}

}  // namespace tavren
