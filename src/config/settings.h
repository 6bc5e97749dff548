// The settings in the host player's store (section "General"), the record a
// decoder works from, and the ten presets.
//   VstiSettings         the validated settings of one decoder
//   ReadVstiSettings     reads and validates them (a fresh read every time)
//   ReadVstiPath         "VSTiPath_x86" into a kPathChars buffer
//   ReadPresetPath       preset index + 1's path (index 0 .. 9)
//   PresetFieldTable     the six keys of a preset; PresetKey forms them
//   BuildPresetLists     tab-separated lists of used preset paths and names;
//                        writes presets 1 and 2 when their paths are empty
//   LocateSoundCanvasVa  default path of preset 2; LocateMidRadioPlayer of 1
//   Store*               reads and writes through the config, giving the
//                        default without a call when it is the null config
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/host_interface.h"

namespace tavren {

constexpr size_t kPathChars = 260;          // every path buffer, terminator included
constexpr size_t kKeyChars = 128;           // keys formed here and when applying
constexpr size_t kPresetListChars = 2860;   // each list of BuildPresetLists
constexpr size_t kDisplayNameChars = 256;
constexpr int PresetCount = 10;

// The architecture-dependent keys end in "_x86", or "_x64" in the 64-bit
// build (config/arch.h).
extern const char16_t kSectionGeneral[];     // "General"
extern const char16_t kKeyVstiPath[];        // "VSTiPath_x86"
extern const char16_t kKeyShowEditor[];      // "ShowEditor"
extern const char16_t kKeySampleRate[];      // "SampleRate_x86"
extern const char16_t kKeyVolume[];          // "Volume_x86"
extern const char16_t kKeyReset[];           // "Reset_x86"
extern const char16_t kKeyCache[];           // "Cache_x86"
extern const char16_t kKeyEditorPos[];       // "EditorPos"
extern const char16_t kKeyBridge[];          // "VSTiBridge_x86"
extern const char16_t kPresetPrefix[];       // "VSTi_x86"
extern const char16_t kPresetKeyFormat[];    // "%s_%02d%s": prefix, number, suffix

enum PresetFieldId { PresetPath = 0, PresetDesc, PresetRate, PresetVolume, PresetReset, PresetCache };

// One row of a preset's keys. Rows 0 and 1 have no global or pending key.
struct PresetField {
    const char16_t* suffix;       // "" for the path key itself
    const char16_t* labelPiece;   // in the page's labels
    const char16_t* globalKey;    // the active setting this row feeds, or null
    const char16_t* pendingKey;   // holds a global change until the next sync, or null
    const char16_t* defaultText;
};

constexpr int PresetFieldCount = 6;  // the table ends after row 5
extern const PresetField PresetFieldTable[PresetFieldCount];

struct VstiSettings {
    char16_t path[kPathChars];
    int32_t sampleRate;  // one of the twelve valid rates; negative overrides the host's request
    double volume;       // factor: percent / 100, 0.0 .. 4.0
    int32_t editorX;
    int32_t editorY;
    int32_t reset;       // ResetKind 0 .. 3
    bool showEditor;
    bool cache;
    int32_t bridge;      // 0 .. 2: where instruments play (vsthost/host_start.h)
};

void ReadVstiSettings(IHmxConfig* config, VstiSettings* settings);

// "VSTiBridge_x86", 0 .. 2; anything else counts as 0.
int32_t ReadBridgeMode(IHmxConfig* config);

// One of the six rates "SampleRate_x86" offers, or one of them negated.
bool IsValidSampleRate(int32_t rate);

// path holds kPathChars characters.
void ReadVstiPath(IHmxConfig* config, char16_t* path);
void ReadPresetPath(IHmxConfig* config, int index, char16_t* path);

// The key of field `field` of preset `number` (1 .. 10) into buffer; gives
// FormatKey's result.
int PresetKey(char16_t* buffer, size_t capacity, int number, int field);

// values and labels hold kPresetListChars characters each.
void BuildPresetLists(IHmxConfig* config, char16_t* values, char16_t* labels);

// Default paths into kPathChars buffers; empty when the Program Files folder
// cannot be had (always in the native build).
void LocateMidRadioPlayer(char16_t* path);
void LocateSoundCanvasVa(char16_t* path);
// LocateSoundCanvasVa's choice under a given folder (its testable part).
void LocateSoundCanvasVaUnder(const char16_t* programFiles, char16_t* path);

// Display names of the two default presets.
extern const char16_t kMidRadioPlayerName[];
extern const char16_t kSoundCanvasVaName[];

// Store access in section "General" that honours the null config. GetStr
// reads into capacity characters (capacity * 2 bytes), always terminated.
void StoreGetStr(IHmxConfig* config, const char16_t* key, char16_t* buffer, size_t capacity,
                 const char16_t* def);
int64_t StoreGetInt(IHmxConfig* config, const char16_t* key, int64_t def);
double StoreGetFloat(IHmxConfig* config, const char16_t* key, double def);
void StoreSetStr(IHmxConfig* config, const char16_t* section, const char16_t* key, const char16_t* value);
void StoreSetInt(IHmxConfig* config, const char16_t* key, int64_t value);

}  // namespace tavren
