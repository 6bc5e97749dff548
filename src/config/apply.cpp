#include "config/apply.h"

#include <new>

#include "config/compare_no_case.h"
#include "config/info.h"
#include "config/settings.h"
#include "platform/text.h"

namespace tavren {

namespace {

ApplyResult RowResult(int row) { return row == PresetRate ? ApplyReopen : ApplyUpdate; }

// A global playback key changed: remember the value for the selected
// instrument's preset, which takes it at the next sync.
ApplyResult GlobalChange(IHmxConfig* config, int row, const HmxChar* value) {
    char16_t selected[kPathChars];
    ReadVstiPath(config, selected);
    if (!selected[0]) return ApplyNothing;
    for (int index = 0; index < PresetCount; ++index) {
        char16_t path[kPathChars];
        ReadPresetPath(config, index, path);
        if (EqualsNoCase(path, selected)) {
            StoreSetStr(config, kSectionGeneral, PresetFieldTable[row].pendingKey, value);
            break;
        }
    }
    return RowResult(row);
}

// A preset field changed: it matters now only if that preset is the
// selected instrument's.
ApplyResult PresetChange(IHmxConfig* config, int row, const HmxChar* key, ptrdiff_t suffixAt) {
    char16_t pathKey[kKeyChars];
    size_t length = static_cast<size_t>(suffixAt) < kKeyChars - 1 ? static_cast<size_t>(suffixAt) : kKeyChars - 1;
    for (size_t i = 0; i < length; ++i) pathKey[i] = key[i];
    pathKey[length] = 0;

    char16_t presetPath[kPathChars];
    StoreGetStr(config, pathKey, presetPath, kPathChars, u"");
    if (!presetPath[0]) return ApplyNothing;
    char16_t selected[kPathChars];
    ReadVstiPath(config, selected);
    if (!EqualsNoCase(presetPath, selected)) return ApplyNothing;
    return RowResult(row);
}

// Every preset whose field `field` equals a lower-numbered preset's loses it.
void DropDuplicates(IHmxConfig* config, int field, char16_t* buffers) {
    for (int n = 1; n <= PresetCount; ++n) {
        char16_t key[kKeyChars];
        PresetKey(key, kKeyChars, n, field);
        char16_t* own = buffers + (n - 1) * kPathChars;
        StoreGetStr(config, key, own, kPathChars, u"");
        if (!own[0]) continue;
        for (int m = 1; m < n; ++m) {
            char16_t* earlier = buffers + (m - 1) * kPathChars;
            if (!earlier[0] || !EqualsNoCase(earlier, own)) continue;
            // The earlier copy is emptied in memory so that a third copy
            // meets only the nearest one below it.
            earlier[0] = 0;
            StoreSetStr(config, kSectionGeneral, key, u"");
        }
    }
}

}  // namespace

ApplyResult PresetSyncWith(IHmxConfig* config, char16_t* buffers) {
    if (!buffers) return ApplyNothing;
    DropDuplicates(config, PresetPath, buffers);
    DropDuplicates(config, PresetDesc, buffers);

    char16_t selected[kPathChars];
    ReadVstiPath(config, selected);
    if (!selected[0]) return ApplyNothing;
    int number = 0;
    for (int index = 0; index < PresetCount && !number; ++index) {
        char16_t path[kPathChars];
        ReadPresetPath(config, index, path);
        if (EqualsNoCase(path, selected)) number = index + 1;
    }
    if (!number) return ApplyNothing;

    for (int row = PresetRate; row <= PresetCache; ++row) {
        const PresetField& field = PresetFieldTable[row];
        char16_t fieldKey[kKeyChars];
        PresetKey(fieldKey, kKeyChars, number, row);
        char16_t value[kKeyChars];
        StoreGetStr(config, field.pendingKey, value, kKeyChars, u"");
        if (value[0]) {
            StoreSetStr(config, kSectionGeneral, fieldKey, value);
            StoreSetStr(config, kSectionGeneral, field.pendingKey, u"");
        } else {
            StoreGetStr(config, fieldKey, value, kKeyChars, field.defaultText);
            StoreSetStr(config, kSectionGeneral, field.globalKey, value);
        }
    }
    return ApplyNothing;
}

ApplyResult PresetSync(IHmxConfig* config) {
    char16_t* buffers = new (std::nothrow) char16_t[PresetCount * kPathChars];
    ApplyResult result = PresetSyncWith(config, buffers);
    delete[] buffers;
    return result;
}

ApplyResult ApplyConfigCommand(IHmxConfig* config, const HmxChar* section, const HmxChar* key,
                               const HmxChar* value) {
    if (!key) key = u"";
    if (!value) value = u"";
    if (TextEquals(key, u"Reload")) return ApplyReload;
    if (TextEquals(key, u"Info")) {
        ShowInfo(config);
        return ApplyNothing;
    }
    StoreSetStr(config, section ? section : kSectionGeneral, key, value);
    if (TextEquals(key, kKeyShowEditor)) return ApplyUpdate;
    if (TextEquals(key, kKeyVstiPath)) return ApplyReload;
    // Where the instrument plays takes a host of its own: loaded anew.
    if (TextEquals(key, kKeyBridge)) return ApplyReload;
    for (int row = PresetRate; row <= PresetCache; ++row)
        if (TextEquals(key, PresetFieldTable[row].globalKey)) return GlobalChange(config, row, value);
    for (int row = PresetRate; row <= PresetCache; ++row) {
        ptrdiff_t at = FindText(key, PresetFieldTable[row].suffix);
        if (at >= 0) return PresetChange(config, row, key, at);
    }
    if (key[0]) return ApplyNothing;
    return PresetSync(config);
}

}  // namespace tavren
