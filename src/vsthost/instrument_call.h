// Every call into an instrument on its host thread goes through here: a
// guarded call (vsthost/guarded_call.h). A structured exception escaping
// the instrument marks its host faulted for good: from then on nothing
// calls that library (every call answers as if it had answered 0), blocks
// report failure so the playing songs end, no effect of it opens, and the
// library is never unloaded. One fault shows one box.
#pragma once

#include <cstdint>
#include <type_traits>

#include "vsthost/host_thread.h"

namespace tavren {

// What a host process of its own does at a fault instead: ends itself with
// the exception's code, so the player says what happened, once, and no box
// shows in the host process. Never returns.
using InstrumentFaultHandler = void (*)(uint32_t code);

// [once, before any call into an instrument]
void SetInstrumentFaultHandler(InstrumentFaultHandler handler);

// [host thread] Runs fn(arg), code of host's instrument, guarded. True when
// it returned. False without running it once host has faulted; false when
// it faults now: host is marked faulted and the failure shown in a box,
// except while an effect is opened (opening), when the fault is kept in the
// host for the song's open to name in its load-failure box.
bool GuardInstrumentCall(VstiHost* host, void (*fn)(void*), void* arg, bool opening);

// [host thread] GuardInstrumentCall with a callable: call().
template <typename Call>
bool CallInstrument(VstiHost* host, Call&& call, bool opening = false) {
    using Target = std::remove_reference_t<Call>;
    return GuardInstrumentCall(host, [](void* target) { (*static_cast<Target*>(target))(); }, &call, opening);
}

}  // namespace tavren
