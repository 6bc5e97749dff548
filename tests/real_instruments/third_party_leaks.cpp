// Leaks inside the real instruments are theirs, not ours; LeakSanitizer must
// still see every leak of our own code. So:
// - each stereo synth stays mapped for the whole run. The plug-in unloads an
//   instrument when its module goes; a leak report at exit then shows that
//   library's frames as "<unknown module>", or names whatever library was
//   later mapped at the same address (our test program and liblo were seen).
//   Kept mapped, its frames carry its name and can be suppressed by it.
// - the suppressions (third_party_suppressions.cpp) name exactly those libraries. Seen here:
//   amsynth_vst.so: 41 objects of 40 bytes from operator new for every effect
//     it opens, allocated in its own frames and not freed by effClose.
//   ZynAddSubFX.so: 128 bytes (and 16 bytes they own) allocated in its entry
//     point "main" for every effect, not freed by effClose; and in some runs
//     about 20 MB of parts (zyn::Part) built by its own loading threads
//     (MiddleWareImpl::loadPart, std::async) that effClose leaves behind.
// The refused instruments are not kept mapped: the tests check that the
// plug-in unloads them.
#include <gtest/gtest.h>

#include <iterator>

#include "dynamic_library.h"
#include "real_synths.h"

namespace realsynth {
namespace {

// Never unloaded, never destroyed: the report at exit needs them mapped.
DynamicLibrary* kept[std::size(kStereoSynths)];

class KeepSynthsMapped : public ::testing::Environment {
public:
    void SetUp() override {
        for (size_t i = 0; i < std::size(kStereoSynths); ++i)
            kept[i] = new DynamicLibrary(PluginPath(kStereoSynths[i].file));
    }
};

[[maybe_unused]] ::testing::Environment* const keep = ::testing::AddGlobalTestEnvironment(new KeepSynthsMapped);

}  // namespace
}  // namespace realsynth
