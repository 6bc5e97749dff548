// The platform's part of the bridge to an instrument's host process:
// starting the process with fresh shared memory that only it and the player
// can reach, waking either side, waiting for an answer while watching the
// process, and ending it. The protocol over the memory is portable
// (bridge_protocol.h); only this is each system's own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tavren::bridge {

struct Channel;

// ---- The player's side ----

// [any thread] Starts the host executable at path with the player's
// environment, current folder and rights; the shared memory is mapped and
// its header written before the process starts. Null when it cannot be
// started (the reason, for the load-failure message, into reason).
Channel* LaunchHost(const char16_t* executable, char16_t* reason, size_t reasonChars);

void* Memory(Channel* channel);

// [any thread] Wakes the host process if it sleeps waiting for requests.
void WakeHost(Channel* channel);

// Whether waking the other side costs a round trip to a server (Windows
// events under Wine): a waiter that knows when its answer is due then
// sleeps until then instead of asking to be woken.
bool WakingIsDear();

enum class WaitEnd { Changed, TimedOut, HostEnded };

// [any thread] Sleeps while the slot's state word holds value: until the
// host process wakes it (having seen kSlotSleeping), the timeout passes, or
// the process has ended.
WaitEnd WaitForAnswer(Channel* channel, uint32_t slot, std::atomic<uint32_t>* state, uint32_t value,
                      uint32_t timeoutMilliseconds);

// How the host process ended.
struct Ending {
    bool ended = false;
    bool signalled = false;  // natively: killed by a signal (code is its number)
    uint32_t code = 0;       // exit code; on Windows an unhandled exception's code
};

// [any thread] Whether the process has ended, and how; reaps it once ended.
Ending HostEnding(Channel* channel);

// [any thread] Waits up to milliseconds for the process to end by itself;
// ends it if it has not; reaps it. Gives how it ended.
Ending EndHost(Channel* channel, uint32_t milliseconds);

// [any thread] Frees what is left once the process is ended and reaped.
void CloseChannel(Channel* channel);

// ---- The host process's side ----

// [main thread] The channel given on the command line (argv after the
// program's name), checked against the header the player wrote; null when
// it is not one.
Channel* AttachToPlayer(int argc, char** argv);

// [main thread] Sleeps while the header's signal holds seen (after
// announcing it in hostSleeping). False once the player has ended.
bool WaitForRequest(Channel* channel, uint32_t seen);

// [any thread] Ends this process at once with code as its exit code, nothing
// of a faulted instrument run on the way out.
[[noreturn]] void EndThisProcess(uint32_t code);

// [any thread] Wakes the player sleeping on slot's answer.
void WakePlayer(Channel* channel, uint32_t slot);

}  // namespace tavren::bridge
