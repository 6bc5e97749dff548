// The settings target's input: four bytes that choose the changes a run
// makes to the store before it saves, then the settings file itself.
//   [0] a, [1] b  pick each change's key and value
//   [2], [3]      bit i on: change i is made (kTouchCount changes at most)
// Shared by the check (compiled once per architecture) and the program that
// writes the seed corpus; plain data in a namespace of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace settingsfuzz {

enum class TouchKind {
    Text,          // SetStr in "General"
    Integer,       // SetInt
    Real,          // SetFloat
    OtherSection,  // SetStr in another section: kept for the run, never saved
    RunOnly,       // a value for the run only (hmxplay's --set): never saved
};

struct Touch {
    const char* key;
    TouchKind kind;
};

// Both architectures' names, the pending keys, keys no page names, the
// empty key and one that no settings line can hold.
constexpr Touch kTouches[] = {
    {"Volume_x86", TouchKind::Text},       {"Volume_x64", TouchKind::Text},
    {"SampleRate_x86", TouchKind::Text},   {"VSTiPath_x86", TouchKind::Text},
    {"VSTiPath_x64", TouchKind::Text},     {"VSTi_x86_01", TouchKind::Text},
    {"VSTi_x86_03_Desc", TouchKind::Text}, {"VSTi_x64_02_Vol", TouchKind::Text},
    {"Volume_", TouchKind::Text},          {"EditorPos", TouchKind::Integer},
    {"ShowEditor", TouchKind::Integer},    {"Reset_x86", TouchKind::Real},
    {"Cache_x64", TouchKind::Text},        {"New_Key", TouchKind::Text},
    {"", TouchKind::Text},                 {"Bad=Key", TouchKind::Text},
    {"Volume_x86", TouchKind::OtherSection}, {"SampleRate_x86", TouchKind::RunOnly},
    {"VSTiPath_x64", TouchKind::RunOnly},
};

// UTF-8 texts; two hold line breaks, which no save may write.
constexpr const char* kTouchValues[] = {
    "80", "", "48000", "-44100", "C:\\VSTi\\Synth.dll", "/usr/lib/vst/synth.so", "\xE5\x90\x8D\xE5\x89\x8D",
    "a=b=c", "two\nlines", "cr\ronly", " 12 ", "1e999", "nan", "\xC3\xA9",
    "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
    "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
    "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789",
};

constexpr size_t kTouchValueCount = sizeof kTouchValues / sizeof kTouchValues[0];
constexpr size_t kTouchKeyCount = sizeof kTouches / sizeof kTouches[0];
constexpr size_t kTouchCount = 16;
constexpr size_t kTouchBytes = 4;

}  // namespace settingsfuzz
