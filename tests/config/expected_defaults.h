// The default paths of presets 1 and 2 as this build should find them,
// worked out from the platform layer alone: from the Program Files folder
// where it can be had (the Windows build, Wine included), else empty.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tavren::test {

struct Defaults {
    std::u16string midRadio;
    std::u16string soundCanvas;
};

inline Defaults ExpectedDefaults() {
    char16_t folder[260];
    if (!platform::ProgramFilesFolder(folder, 260) || !folder[0]) return {};
    std::u16string base(folder);
    std::u16string canvas = base + u"\\Roland\\Sound Canvas VA\\SOUND Canvas VA.dll";
    uint32_t attributes = platform::FileAttributes(canvas.c_str());
    if (attributes == platform::kInvalidFileAttributes || (attributes & platform::kFileAttributeDirectory))
        canvas = base + u"\\Vstplugins\\Roland\\Sound Canvas VA\\SOUND Canvas VA.dll";
    return {base + u"\\YAMAHA\\MidRadio Player\\Addins\\sgp2.dll", canvas};
}

}  // namespace tavren::test
