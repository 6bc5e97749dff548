// The SysEx messages the reader recognises, as bytes after the F0.
//   ResetSysexTable         whole messages (closing F7 included) that announce
//                           a reset system; matched on length and every byte
//   MasterVolumeSysexTable  prefixes of master-volume messages; matched when
//                           the data is strictly longer than the prefix
//   ClassifySysex           the message word for SysEx data and, for a reset
//                           row, the kind it announces
// Rows 1, 2, 3 and 6 of the reset table, F0 first, are also the song-start
// reset messages, in ResetKind order.
#pragma once

#include <cstdint>

#include "midi/reset_kind.h"

namespace tavren {

struct ResetSysexRow {
    uint8_t bytes[10];
    uint32_t length;
    ResetKind kind;
};

struct SysexPrefixRow {
    uint8_t bytes[7];
    uint32_t length;
};

extern const ResetSysexRow ResetSysexTable[8];
extern const SysexPrefixRow MasterVolumeSysexTable[3];

struct SysexClass {
    uint32_t message;   // MsgSysex or MsgSysexAllPorts
    bool isReset;       // a ResetSysexTable row matched
    ResetKind kind;     // that row's kind when isReset
};

SysexClass ClassifySysex(const uint8_t* data, uint32_t length);

}  // namespace tavren
