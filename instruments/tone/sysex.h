// Recognises the system-exclusive messages the synth acts on.
// - ParseSysex(bytes, size): the command in one complete F0..F7 message
//   (a missing final F7 is tolerated); Kind::None for anything else.
// Device ids are not checked: files address whatever id their author had.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tone {

struct SysexCommand {
    enum class Kind { None, Reset, MasterVolume };
    Kind kind = Kind::None;
    double value = 0.0;  // MasterVolume: 0..1
};

SysexCommand ParseSysex(const uint8_t* bytes, size_t size);

}  // namespace tone
