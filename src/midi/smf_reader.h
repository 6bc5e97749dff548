// Standard MIDI File (format 0 or 1), bare or in a RIFF MIDI wrapper ("RIFF"
// ... "RMID", the file in its "data" chunk, told by content), to timeline.
//   ReadSong   empties the song, reads the file image (borrowed, never kept,
//              never read past size) at the given output rate, and fills the
//              song: events ordered by sample time, detected reset, length,
//              port count. False, with the song empty, when the file is
//              rejected, yields no event, or memory runs out; then
//              *reason (when given) says which, in words.
// Times are fixed as each event is read, over the tempo entries read so far.
// [any thread] touches only its arguments.
#pragma once

#include <cstdint>

#include "midi/midi_song.h"

namespace tavren {

bool ReadSong(const uint8_t* data, uint32_t size, int32_t sampleRate, MidiSong& song,
              const char** reason = nullptr);

}  // namespace tavren
