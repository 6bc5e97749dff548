// The callback handed to the instrument's entry point.
#pragma once

#include "vsthost/vst2.h"

namespace tavren {

// [host thread] Answers the instrument's requests about the host and playback.
intptr_t VST_CALL AudioMasterCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                      void* ptr, float opt);

}  // namespace tavren
