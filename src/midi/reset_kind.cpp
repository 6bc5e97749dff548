#include "midi/reset_kind.h"

namespace tavren {

const char* ResetKindLabel(ResetKind kind) {
    switch (kind) {
    case ResetKind::GmSystemOn: return "GM SYSTEM ON";
    case ResetKind::Gm2SystemOn: return "GM2 SYSTEM ON";
    case ResetKind::XgSystemOn: return "XG SYSTEM ON";
    case ResetKind::GsReset: return "GS RESET";
    }
    return "";
}

}  // namespace tavren
