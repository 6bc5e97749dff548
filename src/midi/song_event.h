// One event of the timeline, stamped in samples at the output rate.
//   SongEvent          time, message word, port, owned SysEx bytes (F0 first)
//   MsgSysex           SysEx for the event's own port
//   MsgSysexAllPorts   SysEx delivered to every port (reset, master volume)
//   MsgEndOfTrack      end of one track; never sent to an instrument
//   IsSysexMessage / IsEndOfTrack / IsChannelMessage tell the words apart
// A channel message word is status | data1 << 8 | data2 << 16, top byte 0.
#pragma once

#include <cstdint>
#include <vector>

namespace tavren {

constexpr uint32_t MsgSysex = 0xC0000000u;
constexpr uint32_t MsgSysexAllPorts = 0xC0000001u;
constexpr uint32_t MsgEndOfTrack = 0x80000000u;

struct SongEvent {
    int64_t time = 0;
    uint32_t message = 0;
    int32_t port = 0;
    std::vector<uint8_t> sysex;
};

// Both top bits set: either SysEx word. The low bit alone says "all ports".
constexpr bool IsSysexMessage(uint32_t message) { return (message & 0xC0000000u) == 0xC0000000u; }
constexpr bool IsEndOfTrack(uint32_t message) { return message == MsgEndOfTrack; }
constexpr bool IsChannelMessage(uint32_t message) {
    return !IsSysexMessage(message) && !IsEndOfTrack(message);
}

}  // namespace tavren
