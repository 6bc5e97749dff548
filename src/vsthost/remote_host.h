// An instrument in a host process of its own, as the player's side sees it:
// the calls the in-process host thread would run, carried over the bridge.
// A VstiHost with a RemoteHost routes every call here. Instances are
// stand-ins: their effect is a shadow of the real one (its fields as they
// were after the last call), numbered by the host process.
//
// Every wait is bounded: a host process that crashes, exits or leaves a
// request unanswered past the bound fails. It is then ended and reaped, one
// message box says what happened, and every later call answers at once
// without effect (a block as failed, so the song ends).
#pragma once

#include <cstddef>
#include <cstdint>

#include "vsthost/block_request.h"
#include "vsthost/instance.h"
#include "vsthost/vst2.h"

namespace tavren {

struct RemoteHost;

// [any thread] Starts executable and has it load the library at path. Null
// when either fails; the reason, for the load-failure message, in reason.
RemoteHost* StartRemoteHost(const char16_t* path, const char16_t* executable, char16_t* reason, size_t reasonChars);

// [any thread] Asks the host process to end, ends it if it has not within
// two seconds, reaps it and frees everything. Its instances must be gone.
void StopRemoteHost(RemoteHost* remote);

// [any thread] True once the host process has failed; why, into reason.
bool RemoteHostFailed(const RemoteHost* remote);
void RemoteFailureReason(RemoteHost* remote, char16_t* reason, size_t reasonChars);

// [any thread] A new instance's shadow effect, or null when refused.
vst2::AEffect* RemoteOpenEffect(RemoteHost* remote);
// [any thread] effClose in the host process; the shadow is freed.
void RemoteCloseEffect(RemoteHost* remote, vst2::AEffect* shadow);

// [any thread] The dispatcher. Names the instrument writes come back into
// ptr; effEditGetRect gives the address of a rectangle kept with the shadow.
intptr_t RemoteDispatch(RemoteHost* remote, vst2::AEffect* shadow, int32_t opcode, int32_t index, intptr_t value,
                        void* ptr, float opt);

// [any thread] PrepareForSong in the host process; the instance's fields
// (rate, block size, counts, width) as prepared there. It keeps no buffers
// here: its outputs come back with each block.
Preparation RemotePrepare(RemoteHost* remote, VstiInstance* instance, int32_t sampleRate, bool songDouble);

// [any thread] PostBlock and WaitBlock over the bridge.
void RemotePostBlock(RemoteHost* remote, BlockRequest& request);
void RemoteWaitBlock(RemoteHost* remote, BlockRequest& request, uint32_t expectedMicros);

// [any thread] The editors of instances (ports 0 to count - 1, at most 4)
// open in the host process at (x, y); closing gives the first window's last
// position.
void RemoteOpenEditors(RemoteHost* remote, VstiInstance* const* instances, int32_t count, int32_t x, int32_t y);
void RemoteCloseEditors(RemoteHost* remote, VstiInstance* const* instances, int32_t count, int32_t* x, int32_t* y);

}  // namespace tavren
