// The tests name the architecture-dependent keys and texts as the 32-bit
// build does ("VSTiPath_x86", "VSTi_x86_03_Rate", "tavren_x86.hmx"). The
// 64-bit Windows build reads them with "_x86" as "_x64"; ForThisBuild does
// that translation, so one test serves both trees.
//
// Decided from the compiler's own target, not from the plug-in's arch.h, so
// that a build that picks the wrong architecture fails here.
#pragma once

#include <string>

namespace tavren::test {

#if defined(_WIN64)
constexpr bool kBuild64 = true;
#else
constexpr bool kBuild64 = false;
#endif

template <typename String>
String ReplaceAll(String text, const String& from, const String& to) {
    for (size_t at = 0; (at = text.find(from, at)) != String::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

inline std::u16string ForThisBuild(const std::u16string& text) {
    return kBuild64 ? ReplaceAll<std::u16string>(text, u"_x86", u"_x64") : text;
}
inline std::string ForThisBuild(const std::string& text) {
    return kBuild64 ? ReplaceAll<std::string>(text, "_x86", "_x64") : text;
}

}  // namespace tavren::test
