// Everything that names the processor architecture of the build, in one
// place: the plug-in's file name, the suffix of the architecture-dependent
// keys, and the texts that tell the user which instruments this build can
// load. A 32-bit plug-in loads only 32-bit instruments and a 64-bit one only
// 64-bit ones, so the two builds keep separate instrument paths and presets.
//
// The build defines TAVREN_ARCH_X64 for the 64-bit Windows plug-in; every
// other build (the 32-bit plug-in, and the native one standing in for it)
// is "x86". Macros, so that the texts below join into plain constants.
#pragma once

#if defined(_WIN32) && (defined(_WIN64) != defined(TAVREN_ARCH_X64))
#error "TAVREN_ARCH_X64 must be defined exactly in the 64-bit Windows build"
#endif

#if defined(TAVREN_ARCH_X64)
#define TAVREN_ARCH_NAME "x64"
#define TAVREN_OTHER_ARCH u"x86"
#else
#define TAVREN_ARCH_NAME "x86"
#define TAVREN_OTHER_ARCH u"x64"
#endif
// The same name for the wide texts ("x86" here; narrow for the tools' help).
#define TAVREN_ARCH u"" TAVREN_ARCH_NAME

// The host programs an instrument plays in out of the player's process, of
// this architecture and of the other; the plug-in looks for them beside its
// own file.
#if defined(_WIN32)
#define TAVREN_HOST_PROGRAM u"tavren_host_" TAVREN_ARCH u".exe"
#define TAVREN_OTHER_HOST_PROGRAM u"tavren_host_" TAVREN_OTHER_ARCH u".exe"
#else
#define TAVREN_HOST_PROGRAM u"tavren_host_" TAVREN_ARCH
#define TAVREN_OTHER_HOST_PROGRAM u"tavren_host_" TAVREN_OTHER_ARCH
#endif

// "tavren_x86.hmx" or "tavren_x64.hmx".
#define TAVREN_PLUGIN_FILE u"tavren_" TAVREN_ARCH u".hmx"
// Appended to the architecture-dependent keys: "VSTiPath" TAVREN_KEY_SUFFIX.
#define TAVREN_KEY_SUFFIX u"_" TAVREN_ARCH
// "this tavren.hmx is the x86 build; x64 VSTi plug-ins cannot be used", as
// the configuration page words it.
#define TAVREN_ARCH_SENTENCE                                              \
    u"動作中の tavren.hmx は " TAVREN_ARCH u" 版です。" TAVREN_OTHER_ARCH \
    u" 版の VSTi プラグインは使用出来ません。"
