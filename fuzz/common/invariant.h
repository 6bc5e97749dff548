// How a fuzz target reports a broken invariant: one line naming the target
// and what broke, then abort(), which libFuzzer turns into a finding with
// the input written out.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

[[noreturn]] inline void Broken(const char* target, const char* what) {
    std::fprintf(stderr, "%s: invariant broken: %s\n", target, what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzzsupport
