// Natively the probe's editor has no window: the calls are only logged.
#include "probe_editor.h"

namespace probe {

void* OpenChildWindow(void*, int, int) { return nullptr; }
void CloseChildWindow(void*) {}

}  // namespace probe
