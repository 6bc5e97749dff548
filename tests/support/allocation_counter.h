// Counts the heap allocations made by one thread between Start and Stop:
// every global operator new (replaced, the aligned ones included) and the
// program's own calls of malloc, calloc and realloc (wrapped at link time,
// which every program that links this library gets). The host thread (the
// instrument's own allocations) and other threads are never counted.
#pragma once

namespace tavren::test {

void StartCountingAllocations();
// The count since the matching Start on this thread.
long StopCountingAllocations();

}  // namespace tavren::test
