// probe: the test instrument. It is loaded through the same code paths as
// any instrument (probe.dll / probe.so), records every call it receives, and
// renders a signal that is a pure function of the events it was sent, so a
// test can check routing, sample offsets and mixing sample by sample.
//
// Libraries built from probe.cpp:
//   probe            exports "VSTPluginMain" and "main" (the log names which one ran)
//   probe_main_only  exports only "main"
//   notaplugin       exports neither
//
// Configuration: environment variables, read at every entry-point call, so
// each effect takes the values in force when it was created.
//   PROBE_LOG             file to which one line per call is appended (no log when unset)
//   PROBE_REFUSE          "1": the entry point returns null
//   PROBE_FLAGS           AEffect flags (C integer syntax, e.g. 0x1111); default 0x110
//                         (CanReplacing | IsSynth)
//   PROBE_FLAGS_ON_OPEN   flags the effect switches to while effOpen is handled
//                         (after the host has accepted it); default: unchanged
//   PROBE_OUTPUTS         numOutputs, default 2
//   PROBE_INPUTS          numInputs, default 0
//   PROBE_PROGRAMS, PROBE_PARAMS, PROBE_UNIQUE_ID, PROBE_VERSION
//                         numPrograms (3), numParams (5), uniqueID (0x50726231), version (1234)
//   PROBE_VENDOR          written by effGetVendorString without any length limit
//                         (over-long values imitate instruments that overrun); default "Tavren"
//   PROBE_PRODUCT         the same for effGetProductString; default "probe"
//   PROBE_ASK_IN_ENTRY    comma-separated host-callback opcodes asked inside the entry
//                         point with the new effect (its user field still null); an
//                         opcode written "n7" is asked with a null effect instead
//   PROBE_ASK_ON_OPEN     the same, asked while effOpen is being handled
//   PROBE_ASK_IN_PROCESS  the same, asked in every process call
//   For opcodes 32 and 33 the probe passes a 256-byte buffer and logs the text it got.
//   PROBE_EDITOR_SIZE, PROBE_EDITOR_NO_RECT, PROBE_EDITOR_ABSURD_RECT
//                         the editor's size and rectangle answer (see probe_editor.h);
//                         the host opens an editor only when PROBE_FLAGS has HasEditor
// Misbehaviour on request, as real instruments have been seen to misbehave:
//   PROBE_FLAGS_ON_START  flags the effect switches to while effStartProcess is handled
//   PROBE_OUTPUTS_ON_START, PROBE_INPUTS_ON_START
//                         numOutputs / numInputs reported from effStartProcess on; the
//                         probe keeps rendering into the outputs it had when resumed
//                         (effMainsChanged 1), as an instrument that allocates there does
//   PROBE_STRING_BYTES    effGetVendorString / effGetProductString write exactly this
//                         many bytes ('V' or 'P') and no terminator
//   PROBE_FAIL_OPEN       "1": effOpen fails inside the instrument, which from then on
//                         answers 0 to every call and leaves its outputs untouched
//   PROBE_SLEEP_MS        every process call takes this many milliseconds longer
//   PROBE_CALLBACK_THREAD "1": from effStartProcess to effStopProcess a thread of the
//                         probe's own calls the host callback (GetTime, GetSampleRate,
//                         GetBlockSize, Version, GetVendorString) without pause;
//                         the log gets "callbackthread serial=<n> calls=<count>" when it stops
//   PROBE_FAIL_AT         where the probe fails: "entry" (the entry point), "open" (effOpen),
//                         "process" (the process call), "events" (effProcessEvents) or
//                         "editopen" (effEditOpen)
//   PROBE_FAIL_HOW        how: "crash" (a write through a null pointer), "hang" (sleeps for
//                         ever), "exit" (exit(3)), "abort" (abort()), or "caught" (a write
//                         through a null pointer that the probe catches itself with a
//                         structured-exception frame of its own, then goes on as if nothing
//                         happened; Windows build only, natively it does nothing); default crash
//   PROBE_FAIL_AFTER      the point fails the (N+1)-th time it is reached, counted over
//                         all effects of the loaded library; default 0 (the first time)
//                         Each effect takes these three when it is created (the entry
//                         point reads them at every call).
//
// Log lines, each starting "tid=<thread id> ":
//   entry name=<VSTPluginMain|main> serial=<n>       or  entry name=<...> refused
//   dispatch serial=<n> op=<opcode> index=<i> value=<v> opt=<opt>[ text="<string>"]
//            [ events=<count> [midi d=<deltaFrames> <b0> <b1> <b2>] [sysex d=<deltaFrames> <bytes>]...]
//   process serial=<n> frames=<count> precision=<float|double>
//   callback serial=<n> op=<opcode> effect=<self|null> answer=<value>[ text="<string>"]
//            [ samplePos=<pos> nanoSeconds=<ns>]   (the last for a non-null GetTime answer)
//   fail at=<point> how=<how> serial=<n>   (just before failing; serial -1 in the entry point)
//   unload        (the library is being unloaded; to the file PROBE_LOG names at that time)
//
// Signal: serial n is the number of effects the loaded library created
// before this one. While at least one note is held, every output frame is
// tag + sum over held notes of (channel * 128 + note + 1), where
// tag = 2^(16 + n % 8); with no note held it is 0. Output 0 carries that
// value, output 1 its negative, further outputs the value again. A note
// sounds from its event's deltaFrames on (note on; note on with velocity 0
// or note off ends it at its deltaFrames); controllers 120 and 123 end every
// note of their channel and GM System On (F0 7E xx 09 01 F7) every note.
#pragma once

#include <cstdint>

#include "vsthost/vst2.h"

namespace probe {

// Private dispatcher opcodes, far from the published ones.
constexpr int32_t kOpcodeCall = 0x70726F00;    // ptr = ProbeCall: runs fn(arg) inside the call; gives 1
constexpr int32_t kOpcodeEcho = 0x70726F01;    // gives value + 1
constexpr int32_t kOpcodeSerial = 0x70726F02;  // gives the effect's serial

struct ProbeCall {
    void (*fn)(void* arg);
    void* arg;
};

constexpr int32_t kDefaultFlags = vst2::effFlagsCanReplacing | vst2::effFlagsIsSynth;

inline int32_t TagOf(int32_t serial) { return 1 << (16 + serial % 8); }
inline int32_t NoteValue(int channel, int note) { return channel * 128 + note + 1; }

}  // namespace probe
