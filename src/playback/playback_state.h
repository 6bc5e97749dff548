// What the playback engine works on: the song, the instances that sound it
// (instance k plays MIDI port k) and the position of playback. The decoder
// owns it; the render loop, the reset sequence and seeking change it.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/midi_song.h"
#include "vsthost/vst2.h"

namespace tavren {

struct VstiInstance;

constexpr int kMaxInstances = 8;

// The events of one block for one instance: pointers into the song (or a
// reset batch), not copies, so gathering copies no SysEx bytes.
using EventList = std::vector<const SongEvent*>;

// Room for either event record: the SysEx one is larger in 64-bit builds.
union EventRecord {
    vst2::VstMidiEvent midi;
    vst2::VstMidiSysexEvent sysex;
};

// What effProcessEvents hands an instrument: the VstEvents head with its
// pointer array, and the records. Reused for every call; it grows only when
// a block has more events than any before, so a playing song allocates
// nothing per block.
struct EventBlock {
    std::vector<unsigned char> head;
    std::vector<EventRecord> records;
};

struct PlaybackState {
    const MidiSong* song = nullptr;
    VstiInstance* instances[kMaxInstances] = {};  // the first null entry ends the list
    int32_t instanceCount = 0;
    int32_t blockSize = 0;   // frames per block, instance 0's
    int32_t sampleRate = 0;  // output rate in Hz
    bool useDouble = false;  // samples are doubles (decided at open from instance 0; all instances hold to it)
    uint64_t playPosition = 0;  // frame position of the next block
    uint64_t songLength = 0;    // the song's lengthSamples
    int32_t nextEvent = 0;      // next event to deliver
    int32_t eventEnd = 0;       // the song's event count
    int32_t loopStart = -1;     // first controller-111 event, -1 when none
    int32_t silentFrames = 0;   // quiet frames counted in the tail
    int32_t resetKind = 0;      // ResetKind of the song-start reset
    double volumeFactor = 1.0;
    EventList lists[kMaxInstances];  // [decoding thread] per block, storage kept
    EventBlock eventBlock;           // [decoding thread] per instrument call, storage kept
};

}  // namespace tavren
