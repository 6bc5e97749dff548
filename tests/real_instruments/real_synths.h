// The real VST 2 plug-ins the tests play through, by file name in
// REAL_VST_DIR: natively Debian's packaged Linux plug-ins, in the Windows
// build DLLs built from Debian's sources (both installed or built by
// scripts/setup.sh).
#pragma once

#include <cctype>
#include <cstdlib>
#include <string>

#include "dynamic_library.h"

namespace realsynth {

struct RealPlugin {
    const char* file;
    // Plays every channel and obeys the channel-mode messages (all sound
    // off, all notes off), as a General MIDI-style synth does. The DPF synths
    // play note-on and note-off on channel 1 and ignore everything else.
    bool general;
    // Holds a held note at a steady level (a piano's note decays).
    bool sustains;
    // A level that its notes (velocity 100) clearly exceed while they sound.
    double sounding;
    // Loads the part a program change asks for on a thread of its own, and
    // drops the notes that reach the part before the load ends. A seek plays
    // through far faster than real time right after the reset's program
    // changes, so the notes it delivers may or may not survive (seen once in
    // fifteen runs).
    bool asyncPrograms = false;
};

#if defined(REAL_WINDOWS_INSTRUMENTS)
// Stereo instruments: the plug-in accepts them.
inline const RealPlugin kStereoSynths[] = {{"ZamSynth.dll", false, true, 0.002},
                                                  {"ZamPiano.dll", false, false, 0.004}};
// An effect (three inputs, no synth flag): the plug-in refuses it.
inline const char* const kRefused[] = {"ZamCompX2.dll"};
#else
inline const RealPlugin kStereoSynths[] = {{"amsynth_vst.so", true, true, 0.01},
                                                  {"ZynAddSubFX.so", true, true, 0.01, true}};
// Mono synths (one output) and effects (no synth flag): the plug-in refuses them.
inline const char* const kRefused[] = {"Kars-vst.so", "Nekobi-vst.so", "MVerb-vst.so"};
#endif

// The path as this platform's programs and the plug-in's settings want it.
// TAVREN_TEST_INSTRUMENT_DIR names another folder: the Windows trees play
// the other architecture's builds of the same instruments through it.
inline std::string PluginPath(const char* file) {
    const char* dir = std::getenv("TAVREN_TEST_INSTRUMENT_DIR");
    return HostPath(std::string(dir && *dir ? dir : REAL_VST_DIR) + "/" + file);
}

// The build of the same instrument for this program's own architecture,
// which the test can load itself (to ask it for its names).
inline std::string OwnArchPluginPath(const char* file) { return HostPath(std::string(REAL_VST_DIR) + "/" + file); }

// A test name part: the file name's letters and digits.
inline std::string SynthName(const char* file) {
    std::string name;
    for (const char* c = file; *c && *c != '.'; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
    return name;
}

}  // namespace realsynth
