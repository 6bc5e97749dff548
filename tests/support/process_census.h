// What a process holds that a plug-in could leave behind: threads, open
// handles (file descriptors natively), child processes still running or
// unreaped, and mappings of a bridge's shared memory. Counted before a
// module is made and after its last release, they must agree.
#pragma once

namespace tavren::test {

struct Census {
    int threads = 0;     // -1 where not known (Wine starts threads of its own at will)
    int handles = 0;
    int children = 0;    // processes this one started that still exist
    int sharedMaps = 0;  // -1 where not known
};

Census TakeCensus();

}  // namespace tavren::test
