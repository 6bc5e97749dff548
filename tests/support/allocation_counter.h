// Counts the heap allocations made by one thread between Start and Stop,
// through replaced global operators new. A program that calls these gets
// the replacement; the host thread (the instrument's own allocations) and
// other threads are never counted.
#pragma once

namespace tavren::test {

void StartCountingAllocations();
// The count since the matching Start on this thread.
long StopCountingAllocations();

}  // namespace tavren::test
