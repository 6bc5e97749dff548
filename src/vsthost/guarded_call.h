// A call into foreign code that a crash inside it cannot take down: in the
// Windows builds a structured-exception frame of our own is established
// around the call, so an exception of error severity (access violation,
// illegal instruction, division by zero, stack overflow, an uncaught C++
// exception of another compiler's runtime...) that nothing inside handled
// ends the call instead of the process. What the code handles itself stays
// its own: the frame's handler is consulted only after every inner one
// passed. Natively a crash is a signal, which this does not catch.
#pragma once

#include <cstdint>

namespace tavren {

// [any thread] Runs fn(arg). True when it returned; false when a structured
// exception of error severity escaped it: then *code (when given) holds the
// exception's code, the stack is unwound to this call and the caller's
// registers are as they were, and whatever fn left half done stays so.
bool GuardedCall(void (*fn)(void*), void* arg, uint32_t* code);

// The code of a stack overflow, after which the stack's guard page is made anew.
constexpr uint32_t kStackOverflowCode = 0xC00000FDu;

}  // namespace tavren
