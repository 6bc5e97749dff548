// The configuration page the host player shows: one section and 69 items
// (eight for the active settings, six for each of the ten presets, and
// where instruments play).
//   SectionTable     the sections, ending with an all-null record
//   DescribeConfig   hands them to the builder; may write presets 1 and 2
//                    (see BuildPresetLists); gives 1
// Every record and text handed over lives only for the AddSection or
// AddItem call: the host copies what it keeps.
#pragma once

#include <cstdint>

#include "frame/host_interface.h"

namespace tavren {

extern const HmxConfigSection SectionTable[];

int32_t DescribeConfig(IHmxConfig* config, IHmxConfigBuilder* builder);

}  // namespace tavren
