// The block request: the one seam between a song and its instrument. One
// request carries a block for every instance a host serves: each instance's
// events and its process call. The host answers it in one trip, in instance
// order (events, then processing, for instance 0, then 1, ...), and copies
// each instance's first two outputs to where the request says. The playback
// engine knows an instrument only through this header.
//
// A request can be posted and waited for later, so the next block renders
// while the host player takes the current one.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "midi/midi_song.h"
#include "vsthost/host_call.h"
#include "vsthost/vst2.h"

namespace tavren {

struct VstiInstance;

constexpr int32_t kMaxBlockInstances = 8;

// The events of one block for one instance: pointers into the song (or a
// reset batch), not copies, so gathering copies no SysEx bytes.
using EventList = std::vector<const SongEvent*>;

// Room for either event record: the SysEx one is larger in 64-bit builds.
union EventRecord {
    vst2::VstMidiEvent midi;
    vst2::VstMidiSysexEvent sysex;
};

// What effProcessEvents hands an instrument: the VstEvents head with its
// pointer array, and the records. One per instance, reused for every block;
// it grows only when a block has more events than any before, so a playing
// song allocates nothing per block.
struct EventBlock {
    std::vector<unsigned char> head;
    std::vector<EventRecord> records;
};

// Fills scratch with list's events as effProcessEvents hands them over,
// offsets counted from blockStart; the instrument must copy what it keeps.
const vst2::VstEvents* BuildEvents(const EventList& list, uint64_t blockStart, EventBlock& scratch);

// One instance's part of a block.
struct InstanceBlock {
    VstiInstance* instance = nullptr;
    // Sent with effProcessEvents, also when it holds none; a null list sends
    // no effProcessEvents at all (a bare process call).
    const vst2::VstEvents* events = nullptr;
    int32_t frames = 0;                       // processed when > 0
    uint64_t blockStart = 0;                  // song time of the block: the time information's samplePos
    // Where the first two outputs go: frames samples each, in the width the
    // instance was prepared for (the requester sizes them for doubles).
    void* left = nullptr;
    void* right = nullptr;
    bool rendered = false;  // answered: left and right hold the block
};

struct BlockRequest {
    InstanceBlock parts[kMaxBlockInstances];
    int32_t count = 0;
    // A wall-clock bound (TickCount at its start and milliseconds): when
    // set, the host stops after the instance whose part took the time past
    // it. A seek's reset is bounded this way.
    bool bounded = false;
    uint32_t clockStart = 0;
    uint32_t limitMs = 0;
    // Set by the requester while the request waits or runs: the parts not
    // yet begun are skipped (a block rendered ahead that is not wanted).
    std::atomic<bool> cancelled{false};
    int32_t served = 0;           // answered: parts run
    bool failed = false;          // answered: the instrument failed (crashed, faulted, stopped responding)
    uint32_t serviceMicros = 0;   // answered: how long the host took, in microseconds
    std::atomic<uint64_t> startedAt{0};  // when the host began it (MonotonicMicroseconds), 0 before
    HostCall call;                // [carrier] in-process
    int32_t bridgeSlot = -1;      // [carrier] the shared-memory slot of a host process
};

// [any thread] Hands request to the host thread of its instances (all parts
// belong to one host) and returns; on the host thread it is answered at
// once. Wait for it before touching it or posting it again.
void PostBlock(BlockRequest& request);

// [any thread] Returns once a posted request has been answered. With
// expectedMicros (how long such a block took the host last time), the
// caller has posted another request behind this one: it then sleeps until
// the block should be done rather than asking to be woken, so the host goes
// straight on to the next block without stopping to wake anyone.
void WaitBlock(BlockRequest& request, uint32_t expectedMicros = 0);

// [any thread] PostBlock and WaitBlock.
void RunBlock(BlockRequest& request);

// [host thread] Answers request: what one trip runs there.
void ServeBlock(BlockRequest& request);

// [any thread] Requests carried to a host thread so far (blocks, dispatcher
// and process calls), for the benchmarks: the render path costs one a block.
uint64_t HostTrips();

}  // namespace tavren
