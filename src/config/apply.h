// Changes and commands that the host player applies on the configuration
// page (section "General" only; the module filters the section).
//   ApplyConfigCommand  stores the value, runs "Info"/"Reload" and the preset
//                       synchronisation, and says what the change needs
//   PresetSync          the empty-key call: drops duplicate preset paths and
//                       names, then moves values between the selected
//                       preset, the pending keys and the global keys
#pragma once

#include <cstdint>

#include "frame/host_interface.h"

namespace tavren {

enum ApplyResult : int32_t {
    ApplyNothing = 0,   // nothing further
    ApplyUpdate = 1,    // UpdateConfig on the open decoders suffices
    ApplyReopen = 2,    // the song must be opened again (sample rate)
    ApplyReload = 3,    // the instrument must be loaded anew
};

// [calling thread] "Info" blocks until the user closes its box.
ApplyResult ApplyConfigCommand(IHmxConfig* config, const HmxChar* section, const HmxChar* key,
                               const HmxChar* value);

// Gives 0. Skips the whole sync when its working block cannot be allocated.
ApplyResult PresetSync(IHmxConfig* config);

// PresetSync with the caller's ten path buffers (PresetCount x kPathChars
// characters); null buffers skip the sync, as an allocation failure does.
ApplyResult PresetSyncWith(IHmxConfig* config, char16_t* buffers);

}  // namespace tavren
