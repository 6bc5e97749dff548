#include "config/settings.h"

#include "config/arch.h"
#include "config/editor_pos.h"
#include "config/format_key.h"
#include "frame/null_config.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace tavren {

const char16_t kSectionGeneral[] = u"General";
const char16_t kKeyVstiPath[] = u"VSTiPath" TAVREN_KEY_SUFFIX;
const char16_t kKeyShowEditor[] = u"ShowEditor";
const char16_t kKeySampleRate[] = u"SampleRate" TAVREN_KEY_SUFFIX;
const char16_t kKeyVolume[] = u"Volume" TAVREN_KEY_SUFFIX;
const char16_t kKeyReset[] = u"Reset" TAVREN_KEY_SUFFIX;
const char16_t kKeyCache[] = u"Cache" TAVREN_KEY_SUFFIX;
const char16_t kKeyEditorPos[] = u"EditorPos";
const char16_t kKeyBridge[] = u"VSTiBridge" TAVREN_KEY_SUFFIX;
const char16_t kPresetPrefix[] = u"VSTi" TAVREN_KEY_SUFFIX;
const char16_t kPresetKeyFormat[] = u"%s_%02d%s";
const char16_t kMidRadioPlayerName[] = u"MidRadio Player";
const char16_t kSoundCanvasVaName[] = u"SOUND Canvas VA";

const PresetField PresetFieldTable[PresetFieldCount] = {
    {u"", u"パス", nullptr, nullptr, u""},
    {u"_Desc", u"表示名", nullptr, nullptr, u""},
    {u"_Rate", u"再生周波数", kKeySampleRate, u"SampleRate_", u"44100"},
    {u"_Vol", u"音量(%)", kKeyVolume, u"Volume_", u"100.0"},
    {u"_Reset", u"音源リセット", kKeyReset, u"Reset_", u"3"},
    {u"_Cache", u"キャッシュ", kKeyCache, u"Cache_", u"1"},
};

// A missing config counts as the null one: every read gives its default.
static bool Unusable(IHmxConfig* config) { return !config || IsNullConfig(config); }

void StoreGetStr(IHmxConfig* config, const char16_t* key, char16_t* buffer, size_t capacity,
                 const char16_t* def) {
    if (capacity == 0) return;
    if (Unusable(config)) {
        CopyText(buffer, capacity, def);
        return;
    }
    buffer[0] = 0;
    config->GetStr(kSectionGeneral, key, buffer, static_cast<uint32_t>(capacity * 2), def);
    buffer[capacity - 1] = 0;  // a store that fills the buffer exactly may leave no terminator
}

int64_t StoreGetInt(IHmxConfig* config, const char16_t* key, int64_t def) {
    return Unusable(config) ? def : config->GetInt(kSectionGeneral, key, def);
}

double StoreGetFloat(IHmxConfig* config, const char16_t* key, double def) {
    return Unusable(config) ? def : config->GetFloat(kSectionGeneral, key, def);
}

void StoreSetStr(IHmxConfig* config, const char16_t* section, const char16_t* key, const char16_t* value) {
    if (!Unusable(config)) config->SetStr(section, key, value);
}

void StoreSetInt(IHmxConfig* config, const char16_t* key, int64_t value) {
    if (!Unusable(config)) config->SetInt(kSectionGeneral, key, value);
}

bool IsValidSampleRate(int32_t rate) {
    static const int32_t kRates[] = {44100, 48000, 88200, 96000, 176400, 192000};
    for (int32_t valid : kRates)
        if (rate == valid || rate == -valid) return true;
    return false;
}

void ReadVstiSettings(IHmxConfig* config, VstiSettings* settings) {
    ReadVstiPath(config, settings->path);
    settings->showEditor = StoreGetInt(config, kKeyShowEditor, 0) != 0;
    settings->sampleRate = static_cast<int32_t>(static_cast<uint32_t>(StoreGetInt(config, kKeySampleRate, 44100)));
    double percent = StoreGetFloat(config, kKeyVolume, 100.0);
    settings->reset = static_cast<int32_t>(static_cast<uint32_t>(StoreGetInt(config, kKeyReset, 3)));
    settings->cache = StoreGetInt(config, kKeyCache, 1) != 0;
    ReadEditorPos(config, &settings->editorX, &settings->editorY);

    if (!IsValidSampleRate(settings->sampleRate)) settings->sampleRate = 44100;
    if (percent > 400.0) percent = 400.0;
    if (percent < 0.0) percent = 0.0;
    if (percent != percent) percent = 100.0;  // NaN from a broken store: not a position on the range
    settings->volume = percent / 100.0;
    if (settings->reset < 0 || settings->reset > 3) settings->reset = 3;
    settings->bridge = ReadBridgeMode(config);
}

int32_t ReadBridgeMode(IHmxConfig* config) {
    const int64_t mode = StoreGetInt(config, kKeyBridge, 0);
    return mode >= 0 && mode <= 2 ? static_cast<int32_t>(mode) : 0;
}

void ReadVstiPath(IHmxConfig* config, char16_t* path) { StoreGetStr(config, kKeyVstiPath, path, kPathChars, u""); }

int PresetKey(char16_t* buffer, size_t capacity, int number, int field) {
    return FormatKey(buffer, capacity, kPresetKeyFormat, kPresetPrefix, number, PresetFieldTable[field].suffix);
}

void ReadPresetPath(IHmxConfig* config, int index, char16_t* path) {
    char16_t key[kKeyChars];
    PresetKey(key, kKeyChars, index + 1, PresetPath);
    StoreGetStr(config, key, path, kPathChars, u"");
}

static void Under(const char16_t* folder, const char16_t* rest, char16_t* path) {
    CopyText(path, kPathChars, folder);
    AppendText(path, kPathChars, rest);
}

void LocateMidRadioPlayer(char16_t* path) {
    char16_t folder[kPathChars];
    path[0] = 0;
    if (platform::ProgramFilesFolder(folder, kPathChars) && folder[0])
        Under(folder, u"\\YAMAHA\\MidRadio Player\\Addins\\sgp2.dll", path);
}

void LocateSoundCanvasVa(char16_t* path) {
    char16_t folder[kPathChars];
    path[0] = 0;
    if (platform::ProgramFilesFolder(folder, kPathChars) && folder[0]) LocateSoundCanvasVaUnder(folder, path);
}

void LocateSoundCanvasVaUnder(const char16_t* programFiles, char16_t* path) {
    Under(programFiles, u"\\Roland\\Sound Canvas VA\\SOUND Canvas VA.dll", path);
    uint32_t attributes = platform::FileAttributes(path);
    if (attributes == platform::kInvalidFileAttributes || (attributes & platform::kFileAttributeDirectory))
        Under(programFiles, u"\\Vstplugins\\Roland\\Sound Canvas VA\\SOUND Canvas VA.dll", path);
}

// Appends one entry to a tab-separated list. A tab inside the entry (a name
// typed into the settings file) becomes a space: kept, it would split the
// entry and pair every later path with another preset's name.
static void AppendEntry(char16_t* list, const char16_t* entry) {
    if (list[0]) AppendText(list, kPresetListChars, u"\t");
    char16_t* added = list + TextLength(list);
    AppendText(list, kPresetListChars, entry);
    for (; *added; ++added)
        if (*added == u'\t') *added = u' ';
}

// Presets 1 and 2 come back whenever their path is empty; a default that
// cannot be had (no Program Files folder) creates nothing.
static void CreateDefaultPreset(IHmxConfig* config, int number, char16_t* path) {
    const char16_t* name = nullptr;
    if (number == 1) {
        LocateMidRadioPlayer(path);
        name = kMidRadioPlayerName;
    } else if (number == 2) {
        LocateSoundCanvasVa(path);
        name = kSoundCanvasVaName;
    }
    if (!name || !path[0]) return;
    char16_t key[kKeyChars];
    PresetKey(key, kKeyChars, number, PresetPath);
    StoreSetStr(config, kSectionGeneral, key, path);
    PresetKey(key, kKeyChars, number, PresetDesc);
    StoreSetStr(config, kSectionGeneral, key, name);
}

void BuildPresetLists(IHmxConfig* config, char16_t* values, char16_t* labels) {
    values[0] = 0;
    labels[0] = 0;
    for (int number = 1; number <= PresetCount; ++number) {
        char16_t path[kPathChars];
        ReadPresetPath(config, number - 1, path);
        if (!path[0]) CreateDefaultPreset(config, number, path);
        if (!path[0]) continue;
        AppendEntry(values, path);

        char16_t key[kKeyChars];
        char16_t name[kDisplayNameChars];
        PresetKey(key, kKeyChars, number, PresetDesc);
        StoreGetStr(config, key, name, kDisplayNameChars, u"");
        if (!name[0]) CopyText(name, kDisplayNameChars, path);
        AppendEntry(labels, name);
    }
}

}  // namespace tavren
