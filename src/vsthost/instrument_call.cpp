#include "vsthost/instrument_call.h"

#include "config/failure_box.h"
#include "vsthost/guarded_call.h"

namespace tavren {

namespace {

InstrumentFaultHandler faultHandler = nullptr;

}  // namespace

void SetInstrumentFaultHandler(InstrumentFaultHandler handler) { faultHandler = handler; }

bool GuardInstrumentCall(VstiHost* host, void (*fn)(void*), void* arg, bool opening) {
    if (host->faulted.load(std::memory_order_acquire)) return false;
    uint32_t code = 0;
    if (GuardedCall(fn, arg, &code)) return true;
    if (faultHandler) faultHandler(code);
    // A fault inside a call the instrument made back into us and we into it
    // again is seen by both guards: the first one to see it reports it.
    if (host->faulted.load(std::memory_order_relaxed)) return false;
    host->faultCode = code;
    host->faultedOpening = opening;
    host->faulted.store(true, std::memory_order_release);
    if (!opening) ShowInstrumentFailure(host->path, InstrumentFailure::Crashed, code);
    return false;
}

}  // namespace tavren
