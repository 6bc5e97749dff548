// Ctrl+C (SIGINT or SIGTERM natively, the console's Ctrl+C or Ctrl+Break
// on Windows) during a render: the first one only asks the render to end,
// so that it closes its WAV file whole; a second one ends the process at once.
#pragma once

namespace hmxplay {

// [platform file] From now on, the first interrupt is caught.
void CatchInterrupts();
// [platform file] [any thread] True once an interrupt was caught.
bool Interrupted();

}  // namespace hmxplay
