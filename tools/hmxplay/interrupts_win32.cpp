#include <windows.h>

#include <atomic>

#include "interrupts.h"

namespace hmxplay {

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // The second one goes on to the default handler, which ends the process.
    return interrupted.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool Interrupted() { return interrupted.load(); }

}  // namespace hmxplay
