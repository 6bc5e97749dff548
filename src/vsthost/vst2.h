// Our own declarations of the VST 2 binary interface, as far as this host
// and our instruments use it. Every record is pinned below for the 32-bit
// and the 64-bit builds: a wrong offset breaks real instruments silently.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VST_CALL __cdecl
#else
#define VST_CALL
#endif

namespace vst2 {

struct AEffect;

using HostCallback = intptr_t(VST_CALL*)(AEffect* effect, int32_t opcode, int32_t index,
                                         intptr_t value, void* ptr, float opt);
using DispatcherProc = intptr_t(VST_CALL*)(AEffect* effect, int32_t opcode, int32_t index,
                                           intptr_t value, void* ptr, float opt);
using ProcessProc = void(VST_CALL*)(AEffect* effect, float** inputs, float** outputs,
                                    int32_t sampleFrames);
using ProcessDoubleProc = void(VST_CALL*)(AEffect* effect, double** inputs, double** outputs,
                                          int32_t sampleFrames);
using SetParameterProc = void(VST_CALL*)(AEffect* effect, int32_t index, float value);
using GetParameterProc = float(VST_CALL*)(AEffect* effect, int32_t index);
using EntryProc = AEffect*(VST_CALL*)(HostCallback callback);

constexpr int32_t kEffectMagic = 0x56737450;  // 'VstP'

struct AEffect {
    int32_t magic;
    DispatcherProc dispatcher;
    ProcessProc process;  // old accumulating form: declared for layout, never called
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t resvd1;
    intptr_t resvd2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;  // the host's own pointer: we keep our instance record here
    int32_t uniqueID;
    int32_t version;
    ProcessProc processReplacing;
    // Only valid when flags has CanDoubleReplacing: some instruments allocate
    // the structure only up to processReplacing.
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};

enum EffectFlags : int32_t {
    effFlagsHasEditor = 0x1,
    effFlagsCanReplacing = 0x10,
    effFlagsProgramChunks = 0x20,
    effFlagsIsSynth = 0x100,
    effFlagsNoSoundInStop = 0x200,
    effFlagsCanDoubleReplacing = 0x1000,
};

enum DispatcherOpcode : int32_t {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effProcessEvents = 25,
    effGetVendorString = 47,
    effGetProductString = 48,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetProcessPrecision = 77,
};

enum HostOpcode : int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterGetTime = 7,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
};

constexpr int32_t kVstLangJapanese = 6;
constexpr int32_t kVstMidiType = 1;
constexpr int32_t kVstSysExType = 6;

struct VstEvent {
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    char data[16];
};

// The array really holds numEvents pointers; allocate room for them after the head.
struct VstEvents {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[2];  // only where the pointers start: reach them through EventPointers
};

// The numEvents pointers after the head. Indexing the declared two-element
// array past its end is undefined even inside the allocation, so the
// pointers are reached from the allocation's own bytes.
inline VstEvent** EventPointers(VstEvents* events) {
    return reinterpret_cast<VstEvent**>(reinterpret_cast<unsigned char*>(events) + offsetof(VstEvents, events));
}
inline VstEvent* const* EventPointers(const VstEvents* events) {
    return reinterpret_cast<VstEvent* const*>(reinterpret_cast<const unsigned char*>(events) +
                                              offsetof(VstEvents, events));
}

struct VstMidiEvent {
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    int32_t noteLength;
    int32_t noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    int32_t dumpBytes;
    intptr_t resvd1;
    char* sysexDump;
    intptr_t resvd2;
};

enum TimeInfoFlags : int32_t {
    kVstTransportChanged = 0x1,
    kVstTransportPlaying = 0x2,
    kVstNanosValid = 0x100,
    kVstPpqPosValid = 0x200,
    kVstTempoValid = 0x400,
    kVstBarsValid = 0x800,
    kVstCyclePosValid = 0x1000,
    kVstTimeSigValid = 0x2000,
    kVstSmpteValid = 0x4000,
    kVstClockValid = 0x8000,
};

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    int32_t smpteOffset;
    int32_t smpteFrameRate;
    int32_t samplesToNextClock;
    int32_t flags;
};

struct ERect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent layout");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, flags) == 84, "VstTimeInfo layout");
static_assert(sizeof(ERect) == 8, "ERect layout");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "VstMidiEvent layout");

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AEffect) == 144, "AEffect layout");
static_assert(offsetof(AEffect, dispatcher) == 4, "AEffect layout");
static_assert(offsetof(AEffect, numPrograms) == 20, "AEffect layout");
static_assert(offsetof(AEffect, numOutputs) == 32, "AEffect layout");
static_assert(offsetof(AEffect, flags) == 36, "AEffect layout");
static_assert(offsetof(AEffect, initialDelay) == 48, "AEffect layout");
static_assert(offsetof(AEffect, ioRatio) == 60, "AEffect layout");
static_assert(offsetof(AEffect, object) == 64, "AEffect layout");
static_assert(offsetof(AEffect, user) == 68, "AEffect layout");
static_assert(offsetof(AEffect, uniqueID) == 72, "AEffect layout");
static_assert(offsetof(AEffect, version) == 76, "AEffect layout");
static_assert(offsetof(AEffect, processReplacing) == 80, "AEffect layout");
static_assert(offsetof(AEffect, processDoubleReplacing) == 84, "AEffect layout");
static_assert(offsetof(AEffect, future) == 88, "AEffect layout");
static_assert(sizeof(VstEvents) == 16, "VstEvents layout");
static_assert(sizeof(VstMidiSysexEvent) == 32, "VstMidiSysexEvent layout");
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 24, "VstMidiSysexEvent layout");
#else
// 64-bit: pointer-sized fields align to 8, so padding follows magic (0) and
// flags (56), and after dumpBytes in the SysEx event.
static_assert(sizeof(AEffect) == 192, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, dispatcher) == 8, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, process) == 16, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, getParameter) == 32, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, numPrograms) == 40, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, numOutputs) == 52, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, flags) == 56, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, resvd1) == 64, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, initialDelay) == 80, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, ioRatio) == 92, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, object) == 96, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, user) == 104, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, version) == 116, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, processReplacing) == 120, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, processDoubleReplacing) == 128, "AEffect layout (64-bit)");
static_assert(offsetof(AEffect, future) == 136, "AEffect layout (64-bit)");
static_assert(sizeof(VstEvents) == 32, "VstEvents layout (64-bit)");
static_assert(offsetof(VstEvents, reserved) == 8, "VstEvents layout (64-bit)");
static_assert(offsetof(VstEvents, events) == 16, "VstEvents layout (64-bit)");
static_assert(sizeof(VstMidiSysexEvent) == 48, "VstMidiSysexEvent layout (64-bit)");
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16, "VstMidiSysexEvent layout (64-bit)");
static_assert(offsetof(VstMidiSysexEvent, resvd1) == 24, "VstMidiSysexEvent layout (64-bit)");
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32, "VstMidiSysexEvent layout (64-bit)");
static_assert(offsetof(VstMidiSysexEvent, resvd2) == 40, "VstMidiSysexEvent layout (64-bit)");
#endif

}  // namespace vst2
