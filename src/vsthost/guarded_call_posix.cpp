// Natively a crash inside the called code is a signal; catching one in the
// process it hit is out of reach, so the call is a plain one.
#include "vsthost/guarded_call.h"

namespace tavren {

bool GuardedCall(void (*fn)(void*), void* arg, uint32_t* code) {
    if (code) *code = 0;
    fn(arg);
    return true;
}

}  // namespace tavren
