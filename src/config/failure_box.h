// The message box that tells the user an instrument failed while a song
// played: it names the instrument and what happened.
#pragma once

#include <cstdint>

namespace tavren {

enum class InstrumentFailure { Crashed, StoppedResponding };

// [any thread] One box for one failure: the instrument at path crashed
// (code: the exception or exit code) or stopped responding.
void ShowInstrumentFailure(const char16_t* path, InstrumentFailure what, uint32_t code);

}  // namespace tavren
