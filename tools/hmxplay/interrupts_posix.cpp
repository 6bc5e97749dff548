#include <signal.h>

#include <initializer_list>

#include "interrupts.h"

namespace hmxplay {

namespace {

volatile sig_atomic_t interrupted = 0;

void OnSignal(int) { interrupted = 1; }

}  // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;  // the second signal takes its usual course
    for (int signal : {SIGINT, SIGTERM}) {
        // One ignored on purpose (nohup, a background job) stays ignored.
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

bool Interrupted() { return interrupted != 0; }

}  // namespace hmxplay
