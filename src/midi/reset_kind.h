// The reset system a song announces. One numbering serves the reset
// setting, the song's detected reset and the song-start reset.
//   ResetKind        0 GM, 1 GM2, 2 XG, 3 GS
//   ResetKindLabel   the label shown for a kind; "" for a value out of range
#pragma once

#include <cstdint>

namespace tavren {

enum class ResetKind : uint32_t {
    GmSystemOn = 0,
    Gm2SystemOn = 1,
    XgSystemOn = 2,
    GsReset = 3,
};

constexpr uint32_t kResetKindCount = 4;

const char* ResetKindLabel(ResetKind kind);

}  // namespace tavren
