// What the playback engine works on: the song, the instances that sound it
// (instance k plays MIDI port k) and the position of playback. The decoder
// owns it; the render loop, the reset sequence and seeking change it.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/midi_song.h"
#include "vsthost/block_request.h"

namespace tavren {

struct VstiInstance;

constexpr int kMaxInstances = 8;
static_assert(kMaxInstances <= kMaxBlockInstances, "a block request carries every instance of a song");

// A block posted to the host, with what it uses until it is answered: the
// events of each instance, and room for each instance's two outputs.
struct BlockSlot {
    BlockRequest request;
    EventBlock events[kMaxInstances];
    std::vector<double> output;  // 2 * blockSize samples per instance, room for doubles
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
    BlockSlot slots[2];              // [decoding thread] blocks posted to the host, used in turn
    int32_t nextSlot = 0;            // the slot the next posted block takes
    // The block at playPosition, posted before the host player asked for it
    // (its events already gathered), or -1.
    int32_t aheadSlot = -1;
    uint32_t serviceMicros = 0;  // how long the host took for the last block
    // A block met an instrument that faulted: the song has ended for good
    // (Render gives 0, Seek stays where it is).
    bool failed = false;
};

// Wall-clock bound of a seek, reset included: TickCount at its start and
// the milliseconds it may take.
struct SeekClock {
    uint32_t start;
    uint32_t limitMs;
    bool TimeUp() const;
};

}  // namespace tavren
