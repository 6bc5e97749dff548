// The real VST 2 plug-ins the tests play through, by file name in
// REAL_VST_DIR (installed by scripts/setup.sh from Debian's packages).
#pragma once

#include <cctype>
#include <string>

namespace realsynth {

// Stereo instruments: the plug-in accepts them.
inline const char* const kStereoSynths[] = {"amsynth_vst.so", "ZynAddSubFX.so"};
// Mono synths (one output) and effects (no synth flag): the plug-in refuses them.
inline const char* const kRefused[] = {"Kars-vst.so", "Nekobi-vst.so", "MVerb-vst.so"};

// A test name part: the file name's letters and digits.
inline std::string SynthName(const char* file) {
    std::string name;
    for (const char* c = file; *c && *c != '.'; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
    return name;
}

}  // namespace realsynth
