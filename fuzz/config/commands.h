// The config target's input: a sequence of commands of three bytes each
// (operation, key, value), where a key or value byte of kLiteral takes the
// next byte as a length and that many bytes after it as UTF-16 (two bytes a
// unit, little-endian; unpaired surrogates and all). Shared by the harness
// and the program that writes the seed corpus.
//   operation % 10: 0 .. 6  ApplyConfig in "General"
//                   7       ApplyConfig in another section ("general", "Other", "")
//                   8       DescribeConfig
//                   9       ApplyConfig with a null key and value
//   key:   below the page's item count, that item's key (the page's own
//          order); then kSpecialKeys; kLiteral; the rest wraps around
//   value: kValues by index; kLiteral
#pragma once

#include <cstddef>
#include <cstdint>

namespace configfuzz {

constexpr uint8_t kLiteral = 255;
constexpr size_t kMaxCommands = 64;
constexpr size_t kPageItems = 69;

enum Operation : uint8_t { ApplyGeneral = 0, ApplyElsewhere = 7, Describe = 8, ApplyNull = 9, OperationCount = 10 };

// Keys the page does not declare: the commands, the empty key (the sync),
// the pending keys, keys that look like a preset's field but are not, the
// other architecture's, and the editor position.
constexpr const char16_t* kSpecialKeys[] = {
    u"Info", u"Reload", u"", u"", u"", u"SampleRate_", u"Volume_", u"Reset_", u"Cache_",
    u"VSTi_x86_11_Vol", u"VSTi_x86_00_Rate", u"x_Rate_Vol", u"_Cache", u"VSTi_x64_01_Cache",
    u"VSTi_x86_01_Desc_Reset", u"EditorPos", u"General",
};

// "probe" and "tone" name the instruments built beside the fuzzer; the
// harness puts their paths in.
constexpr const char16_t* kValues[] = {
    u"probe", u"tone", u"", u"/nonexistent/none.so", u"C:\\VSTi\\Synth.dll", u"c:\\vsti\\SYNTH.DLL",
    u"44100", u"48000", u"-48000", u"22050", u"125.5", u"80", u"1e999", u"nan", u"-3", u"7", u"0", u"1",
    u"4294967296", u"My\tSynth", u"\u540D\u524D", u"two\r\nlines",
    u"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
    u"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
    u"0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789",
};

constexpr size_t kSpecialKeyCount = sizeof kSpecialKeys / sizeof kSpecialKeys[0];
constexpr size_t kValueCount = sizeof kValues / sizeof kValues[0];

}  // namespace configfuzz
