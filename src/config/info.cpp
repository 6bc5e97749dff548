#include "config/info.h"

#include "config/format_key.h"
#include "frame/instance_cache.h"
#include "frame/module_state.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren {

namespace {

struct EffFlagName {
    int32_t bit;
    const char16_t* name;
};

// In the order the text lists them; ends with a null name.
constexpr EffFlagName EffFlagNameTable[] = {
    {vst2::effFlagsHasEditor, u"HasEditor"},
    {vst2::effFlagsCanReplacing, u"CanReplacing"},
    {vst2::effFlagsProgramChunks, u"ProgramChunks"},
    {vst2::effFlagsIsSynth, u"IsSynth"},
    {vst2::effFlagsNoSoundInStop, u"NoSoundInStop"},
    {vst2::effFlagsCanDoubleReplacing, u"CanDoubleReplacing"},
    {0, nullptr},
};

constexpr size_t kFlagTextChars = 128;
constexpr size_t kNameChars = 65;  // 64 characters shown
// Real instruments write past the published 64-byte limit (300 bytes
// without a terminator seen): room to spare, zeroed beforehand.
constexpr size_t kNameBufferBytes = 1024;
constexpr size_t kInfoTextChars = 1024;
constexpr uint32_t kInfoBoxStyle = 0x41000;  // MB_OK | MB_SYSTEMMODAL | MB_TOPMOST

void FlagText(int32_t flags, char16_t* text) {
    text[0] = 0;
    for (const EffFlagName* row = EffFlagNameTable; row->name; ++row) {
        if (!(flags & row->bit)) continue;
        if (text[0]) AppendText(text, kFlagTextChars, u" | ");
        AppendText(text, kFlagTextChars, row->name);
    }
}

// effGetVendorString / effGetProductString into a wide text of at most 64 characters.
void AskName(VstiInstance* instance, int32_t opcode, char16_t* name) {
    char bytes[kNameBufferBytes] = {};
    Dispatch(instance, opcode, 0, bytes, 0.0f);
    bytes[kNameBufferBytes - 1] = 0;
    platform::AnsiToWide(bytes, name, kNameChars);
    name[kNameChars - 1] = 0;
}

void DescribeInstance(VstiInstance* instance, char16_t* text) {
    const vst2::AEffect* effect = instance->effect;
    char16_t path[260];
    CopyText(path, 260, instance->host->path);
    char16_t flagText[kFlagTextChars];
    FlagText(effect->flags, flagText);
    char16_t vendor[kNameChars] = {};
    char16_t product[kNameChars] = {};
    AskName(instance, vst2::effGetVendorString, vendor);
    AskName(instance, vst2::effGetProductString, product);
    FormatKey(text, kInfoTextChars,
              u"path: %s\r\nvendor: %s\r\nproduct: %s\r\nnumPrograms: %d\r\nnumParams: %d\r\nnumInputs: %d\r\n"
              u"numOutputs: %d\r\nflags: %d(%s)\r\nuniqueID: %d\r\nversion: %d",
              static_cast<const char16_t*>(path), static_cast<const char16_t*>(vendor),
              static_cast<const char16_t*>(product), effect->numPrograms, effect->numParams, effect->numInputs,
              effect->numOutputs, effect->flags, static_cast<const char16_t*>(flagText), effect->uniqueID,
              effect->version);
}

}  // namespace

void ShowInfo(IHmxConfig* config) {
    char16_t text[kInfoTextChars] = {};
    if (VstiInstance* instance = AcquireInstance(config)) {
        DescribeInstance(instance, text);
        // Back into the cache whatever the cache setting says: the next song reuses it.
        platform::LockGuard lock(HostLock);
        CacheInstance(CurrentHost, instance);
    } else {
        CopyText(text, kInfoTextChars, u"failed to load plug-in");
    }
    platform::ShowMessageBox(text, u"VSTi Information", kInfoBoxStyle);
}

}  // namespace tavren
