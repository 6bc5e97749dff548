// The test instrument described in probe_protocol.h.
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "probe_editor.h"
#include "probe_protocol.h"

#if defined(_WIN32)
#include <windows.h>

#include "vsthost/guarded_call.h"
#define PROBE_EXPORT  // the .def file names the exports
#else
#include <sys/syscall.h>
#include <unistd.h>
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using vst2::AEffect;

// --- environment and log -----------------------------------------------------

std::string Env(const char* name, const char* fallback = "") {
#if defined(_WIN32)
    // The process environment, which a test changes with SetEnvironmentVariableA.
    char value[4096];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value) return fallback;
    return std::string(value, n);
#else
    const char* value = std::getenv(name);
    return value ? value : fallback;
#endif
}

int32_t EnvInt(const char* name, int32_t fallback) {
    std::string text = Env(name);
    if (text.empty()) return fallback;
    return static_cast<int32_t>(std::strtoll(text.c_str(), nullptr, 0));
}

unsigned ThreadId() {
#if defined(_WIN32)
    return GetCurrentThreadId();
#else
    return static_cast<unsigned>(syscall(SYS_gettid));
#endif
}

std::mutex logLock;

void AppendLine(const std::string& path, const std::string& line) {
    if (path.empty()) return;
    std::lock_guard<std::mutex> lock(logLock);
    if (FILE* file = std::fopen(path.c_str(), "ab")) {
        std::string full = "tid=" + std::to_string(ThreadId()) + " " + line + "\n";
        std::fwrite(full.data(), 1, full.size(), file);
        std::fclose(file);
    }
}

// The unload has no effect to ask for its log: it goes where PROBE_LOG points now.
struct UnloadLine {
    ~UnloadLine() { AppendLine(Env("PROBE_LOG"), "unload"); }
} unloadLine;  // defined after the log state, so destroyed before it

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

// --- failing on request ------------------------------------------------------

enum class FailPoint { None, Entry, Open, Process, Events, EditOpen, Count };
enum class FailHow { Crash, Hang, Exit, Abort, Caught };

struct FailPlan {
    FailPoint at = FailPoint::None;
    FailHow how = FailHow::Crash;
    int32_t after = 0;
};

const char* const kFailPointNames[] = {"", "entry", "open", "process", "events", "editopen"};
const char* const kFailHowNames[] = {"crash", "hang", "exit", "abort", "caught"};

FailPlan ReadFailPlan() {
    FailPlan plan;
    const std::string at = Env("PROBE_FAIL_AT"), how = Env("PROBE_FAIL_HOW");
    for (int i = 1; i < static_cast<int>(FailPoint::Count); ++i)
        if (at == kFailPointNames[i]) plan.at = static_cast<FailPoint>(i);
    for (int i = 0; i < 5; ++i)
        if (how == kFailHowNames[i]) plan.how = static_cast<FailHow>(i);
    plan.after = EnvInt("PROBE_FAIL_AFTER", 0);
    return plan;
}

// Times each point was reached, over every effect of the loaded library.
std::atomic<int32_t> reached[static_cast<int>(FailPoint::Count)];

void WriteThroughNull(void*) {
    // Both volatile: the compiler neither knows the address nor drops the store.
    volatile int* volatile target = nullptr;
    *target = 1;
}

[[noreturn]] void HangForEver() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// An instrument that handles its own fault: the host must never learn of it.
void FaultAndCatch() {
#if defined(_WIN32)
    uint32_t code = 0;
    tavren::GuardedCall(WriteThroughNull, nullptr, &code);
#endif
}

// Fails as planned when point is the planned one and its turn has come.
void ReachPoint(const FailPlan& plan, FailPoint point, const std::string& logPath, int32_t serial) {
    if (plan.at != point || reached[static_cast<int>(point)].fetch_add(1) != plan.after) return;
    AppendLine(logPath, Format("fail at=%s how=%s serial=%d", kFailPointNames[static_cast<int>(point)],
                               kFailHowNames[static_cast<int>(plan.how)], serial));
    switch (plan.how) {
        case FailHow::Crash: WriteThroughNull(nullptr); break;
        case FailHow::Hang: HangForEver();
        case FailHow::Exit: std::exit(3);
        case FailHow::Abort: std::abort();
        case FailHow::Caught: FaultAndCatch(); break;
    }
}

// --- the effect --------------------------------------------------------------

struct PendingEvent {
    int32_t deltaFrames;
    std::vector<unsigned char> bytes;
};

struct Probe {
    AEffect effect;  // first, so the AEffect pointer is the Probe pointer
    vst2::HostCallback host;
    int32_t serial;
    int32_t flagsOnOpen;
    int32_t flagsOnStart, outputsOnStart, inputsOnStart;
    int32_t renderOutputs;  // the outputs it had when resumed
    int32_t stringBytes;    // > 0: names of exactly this many bytes, unterminated
    int32_t sleepMs;
    bool failOpen, failed, callbackThread;
    FailPlan failPlan;
    std::thread asker;
    std::atomic<bool> stopAsking;
    std::string logPath, vendor, product, askOnOpen, askInProcess;
    std::vector<PendingEvent> pending;
    bool held[16][128];
    int heldCount;
    int64_t noteSum;
    probe::Editor* editor;  // answers the editor calls (see probe_editor.h)
};

std::atomic<int32_t> nextSerial{0};

// A value no test asks for: the field keeps what it had.
constexpr int32_t kUnchanged = INT32_MIN;

Probe* ProbeOf(AEffect* effect) { return reinterpret_cast<Probe*>(effect); }

void Log(Probe* probe, const std::string& line) { AppendLine(probe->logPath, line); }

std::string Quoted(const char* text) { return std::string("\"") + text + "\""; }

void Ask(vst2::HostCallback host, Probe* probe, const std::string& list, const std::string& logPath) {
    for (const std::string& item : SplitList(list)) {
        bool nullEffect = item[0] == 'n';
        int32_t opcode = static_cast<int32_t>(std::strtol(item.c_str() + (nullEffect ? 1 : 0), nullptr, 0));
        char text[256] = {};
        AEffect* effect = nullEffect ? nullptr : &probe->effect;
        intptr_t answer = host(effect, opcode, 0, 0, text, 0.0f);
        std::string line = Format("callback serial=%d op=%d effect=%s answer=%" PRIdPTR, probe->serial, opcode,
                                  nullEffect ? "null" : "self", answer);
        if (opcode == vst2::audioMasterGetVendorString || opcode == vst2::audioMasterGetProductString)
            line += " text=" + Quoted(text);
        if (opcode == vst2::audioMasterGetTime && answer) {
            auto* time = reinterpret_cast<const vst2::VstTimeInfo*>(answer);
            line += Format(" samplePos=%.0f nanoSeconds=%.0f", time->samplePos, time->nanoSeconds);
        }
        AppendLine(logPath, line);
    }
}

void EndNote(Probe* probe, int channel, int note) {
    if (!probe->held[channel][note]) return;
    probe->held[channel][note] = false;
    --probe->heldCount;
    probe->noteSum -= probe::NoteValue(channel, note);
}

void EndAllNotes(Probe* probe, int firstChannel, int lastChannel) {
    for (int c = firstChannel; c <= lastChannel; ++c)
        for (int n = 0; n < 128; ++n) EndNote(probe, c, n);
}

void ApplyEvent(Probe* probe, const std::vector<unsigned char>& b) {
    if (b.empty()) return;
    if (b[0] == 0xF0) {
        if (b.size() >= 6 && b[1] == 0x7E && b[3] == 0x09 && b[4] == 0x01) EndAllNotes(probe, 0, 15);
        return;
    }
    if (b.size() < 3) return;
    int kind = b[0] & 0xF0, channel = b[0] & 0x0F, note = b[1] & 0x7F;
    if (kind == 0x90 && b[2] != 0) {
        if (probe->held[channel][note]) return;
        probe->held[channel][note] = true;
        ++probe->heldCount;
        probe->noteSum += probe::NoteValue(channel, note);
    } else if (kind == 0x80 || kind == 0x90) {
        EndNote(probe, channel, note);
    } else if (kind == 0xB0 && (b[1] == 120 || b[1] == 123)) {
        EndAllNotes(probe, channel, channel);
    }
}

std::string DescribeEvents(Probe* probe, const vst2::VstEvents* events) {
    std::string text = Format(" events=%d", events ? events->numEvents : 0);
    if (!events) return text;
    for (int32_t i = 0; i < events->numEvents; ++i) {
        const vst2::VstEvent* event = vst2::EventPointers(events)[i];
        PendingEvent pending{event->deltaFrames, {}};
        if (event->type == vst2::kVstMidiType) {
            auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(event);
            pending.bytes.assign(midi->midiData, midi->midiData + 3);
            text += Format(" [midi d=%d %02x %02x %02x]", midi->deltaFrames, pending.bytes[0], pending.bytes[1],
                           pending.bytes[2]);
        } else if (event->type == vst2::kVstSysExType) {
            auto* sysex = reinterpret_cast<const vst2::VstMidiSysexEvent*>(event);
            pending.bytes.assign(sysex->sysexDump, sysex->sysexDump + sysex->dumpBytes);
            text += Format(" [sysex d=%d", sysex->deltaFrames);
            for (unsigned char byte : pending.bytes) text += Format(" %02x", byte);
            text += "]";
        } else {
            text += Format(" [type=%d]", event->type);
            continue;
        }
        probe->pending.push_back(std::move(pending));
    }
    return text;
}

// An instrument's own worker thread asking the host while the song plays.
void AskFromOwnThread(Probe* probe) {
    long calls = 0;
    char text[256];
    const int32_t opcodes[] = {vst2::audioMasterGetTime, vst2::audioMasterGetSampleRate,
                               vst2::audioMasterGetBlockSize, vst2::audioMasterVersion,
                               vst2::audioMasterGetVendorString};
    while (!probe->stopAsking.load()) {
        for (int32_t opcode : opcodes) {
            intptr_t answer = probe->host(&probe->effect, opcode, 0, 0, text, 0.0f);
            if (opcode == vst2::audioMasterGetTime && answer) {
                // Read what the host handed out, as an instrument would.
                volatile double position = reinterpret_cast<const vst2::VstTimeInfo*>(answer)->samplePos;
                (void)position;
            }
            ++calls;
        }
        std::this_thread::yield();
    }
    AppendLine(probe->logPath, Format("callbackthread serial=%d calls=%ld", probe->serial, calls));
}

void StopAsking(Probe* probe) {
    if (!probe->asker.joinable()) return;
    probe->stopAsking = true;
    probe->asker.join();
}

intptr_t VST_CALL OnDispatch(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    Probe* probe = ProbeOf(effect);
    std::string line = Format("dispatch serial=%d op=%d index=%d value=%" PRIdPTR " opt=%g", probe->serial, opcode,
                              index, value, static_cast<double>(opt));
    intptr_t result = 0;
    if (probe->failed && opcode != vst2::effClose) {
        Log(probe, line + " failed");
        return 0;
    }
    switch (opcode) {
        case vst2::effOpen:
            Log(probe, line);
            ReachPoint(probe->failPlan, FailPoint::Open, probe->logPath, probe->serial);
            if (probe->failOpen) {
                probe->failed = true;  // no exception, no crash: an inert instrument
                return 0;
            }
            effect->flags = probe->flagsOnOpen;
            Ask(probe->host, probe, probe->askOnOpen, probe->logPath);
            return 0;
        case vst2::effClose:
            Log(probe, line);
            StopAsking(probe);
            probe::DeleteEditor(probe->editor);
            delete probe;  // as many instruments do: the host must not touch it again
            return 0;
        case vst2::effMainsChanged:
            if (value) probe->renderOutputs = effect->numOutputs;
            break;
        case vst2::effStartProcess:
            if (probe->flagsOnStart != kUnchanged) effect->flags = probe->flagsOnStart;
            if (probe->outputsOnStart != kUnchanged) effect->numOutputs = probe->outputsOnStart;
            if (probe->inputsOnStart != kUnchanged) effect->numInputs = probe->inputsOnStart;
            if (probe->callbackThread && !probe->asker.joinable()) {
                probe->stopAsking = false;
                probe->asker = std::thread(AskFromOwnThread, probe);
            }
            break;
        case vst2::effStopProcess: StopAsking(probe); break;
        case vst2::effProcessEvents:
            ReachPoint(probe->failPlan, FailPoint::Events, probe->logPath, probe->serial);
            line += DescribeEvents(probe, static_cast<const vst2::VstEvents*>(ptr));
            result = 1;
            break;
        case vst2::effGetVendorString:
        case vst2::effGetProductString: {
            const std::string& text = opcode == vst2::effGetVendorString ? probe->vendor : probe->product;
            if (probe->stringBytes > 0) {
                std::memset(ptr, opcode == vst2::effGetVendorString ? 'V' : 'P', size_t(probe->stringBytes));
                line += Format(" bytes=%d", probe->stringBytes);
                result = 1;
                break;
            }
            std::strcpy(static_cast<char*>(ptr), text.c_str());  // unbounded on purpose
            line += " text=" + Quoted(text.c_str());
            result = 1;
            break;
        }
        case vst2::effEditOpen:
            ReachPoint(probe->failPlan, FailPoint::EditOpen, probe->logPath, probe->serial);
            result = probe::EditorCall(probe->editor, opcode, ptr, line);
            break;
        case vst2::effEditGetRect:
        case vst2::effEditClose:
        case vst2::effEditIdle: result = probe::EditorCall(probe->editor, opcode, ptr, line); break;
        case probe::kOpcodeCall: {
            Log(probe, line);
            auto* call = static_cast<const probe::ProbeCall*>(ptr);
            call->fn(call->arg);
            return 1;
        }
        case probe::kOpcodeEcho: result = value + 1; break;
        case probe::kOpcodeSerial: result = probe->serial; break;
        default: break;
    }
    Log(probe, line);
    return result;
}

template <typename Sample>
void Render(Probe* probe, Sample** outputs, int32_t frames) {
    Log(probe, Format("process serial=%d frames=%d precision=%s", probe->serial, frames,
                      sizeof(Sample) == sizeof(double) ? "double" : "float"));
    if (probe->sleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(probe->sleepMs));
    ReachPoint(probe->failPlan, FailPoint::Process, probe->logPath, probe->serial);
    if (probe->failed) return;
    Ask(probe->host, probe, probe->askInProcess, probe->logPath);
    size_t next = 0;
    for (int32_t i = 0; i < frames; ++i) {
        // Events beyond the block (a host fault) take effect at its last frame.
        while (next < probe->pending.size() &&
               (probe->pending[next].deltaFrames <= i || i == frames - 1))
            ApplyEvent(probe, probe->pending[next++].bytes);
        Sample value = probe->heldCount ? static_cast<Sample>(probe::TagOf(probe->serial) + probe->noteSum) : 0;
        for (int32_t c = 0; c < probe->renderOutputs; ++c) outputs[c][i] = c == 1 ? -value : value;
    }
    probe->pending.clear();
}

void VST_CALL OnProcess(AEffect* effect, float**, float** outputs, int32_t frames) {
    Render(ProbeOf(effect), outputs, frames);
}

void VST_CALL OnProcessDouble(AEffect* effect, double**, double** outputs, int32_t frames) {
    Render(ProbeOf(effect), outputs, frames);
}

void VST_CALL OnSetParameter(AEffect*, int32_t, float) {}
float VST_CALL OnGetParameter(AEffect*, int32_t) { return 0.0f; }

AEffect* CreateEffect(vst2::HostCallback host, const char* entryName) {
    std::string logPath = Env("PROBE_LOG");
    const FailPlan failPlan = ReadFailPlan();
    ReachPoint(failPlan, FailPoint::Entry, logPath, -1);
    if (Env("PROBE_REFUSE") == "1") {
        AppendLine(logPath, Format("entry name=%s refused", entryName));
        return nullptr;
    }
    auto* probe = new Probe();
    std::memset(&probe->effect, 0, sizeof probe->effect);
    probe->effect.magic = vst2::kEffectMagic;
    probe->effect.dispatcher = OnDispatch;
    probe->effect.setParameter = OnSetParameter;
    probe->effect.getParameter = OnGetParameter;
    probe->effect.numPrograms = EnvInt("PROBE_PROGRAMS", 3);
    probe->effect.numParams = EnvInt("PROBE_PARAMS", 5);
    probe->effect.numInputs = EnvInt("PROBE_INPUTS", 0);
    probe->effect.numOutputs = EnvInt("PROBE_OUTPUTS", 2);
    probe->effect.flags = EnvInt("PROBE_FLAGS", probe::kDefaultFlags);
    probe->effect.uniqueID = EnvInt("PROBE_UNIQUE_ID", 0x50726231);
    probe->effect.version = EnvInt("PROBE_VERSION", 1234);
    probe->effect.processReplacing = OnProcess;
    probe->effect.processDoubleReplacing = OnProcessDouble;
    probe->flagsOnOpen = EnvInt("PROBE_FLAGS_ON_OPEN", probe->effect.flags);
    probe->flagsOnStart = EnvInt("PROBE_FLAGS_ON_START", kUnchanged);
    probe->outputsOnStart = EnvInt("PROBE_OUTPUTS_ON_START", kUnchanged);
    probe->inputsOnStart = EnvInt("PROBE_INPUTS_ON_START", kUnchanged);
    probe->renderOutputs = probe->effect.numOutputs;
    probe->stringBytes = EnvInt("PROBE_STRING_BYTES", 0);
    probe->sleepMs = EnvInt("PROBE_SLEEP_MS", 0);
    probe->failOpen = Env("PROBE_FAIL_OPEN") == "1";
    probe->failed = false;
    probe->callbackThread = Env("PROBE_CALLBACK_THREAD") == "1";
    probe->failPlan = failPlan;
    probe->stopAsking = false;
    probe->host = host;
    probe->serial = nextSerial.fetch_add(1);
    probe->logPath = logPath;
    probe->vendor = Env("PROBE_VENDOR", "Tavren");
    probe->product = Env("PROBE_PRODUCT", "probe");
    probe->askOnOpen = Env("PROBE_ASK_ON_OPEN");
    probe->askInProcess = Env("PROBE_ASK_IN_PROCESS");
    std::memset(probe->held, 0, sizeof probe->held);
    probe->heldCount = 0;
    probe->noteSum = 0;
    probe->editor = probe::NewEditor(Env("PROBE_EDITOR_SIZE"), Env("PROBE_EDITOR_NO_RECT") == "1",
                                     Env("PROBE_EDITOR_ABSURD_RECT") == "1");
    AppendLine(logPath, Format("entry name=%s serial=%d", entryName, probe->serial));
    Ask(host, probe, Env("PROBE_ASK_IN_ENTRY"), logPath);
    return &probe->effect;
}

}  // namespace

#if defined(PROBE_WITH_VSTPLUGINMAIN)
extern "C" PROBE_EXPORT AEffect* VST_CALL VSTPluginMain(vst2::HostCallback host) {
    return CreateEffect(host, "VSTPluginMain");
}
#endif

#if defined(PROBE_WITH_MAIN)
// Exported under the name "main" (the .def file on Windows, an assembler name natively).
#if defined(_WIN32)
extern "C" AEffect* VST_CALL ProbeMain(vst2::HostCallback host);
#else
extern "C" PROBE_EXPORT AEffect* ProbeMain(vst2::HostCallback host) __asm__("main");
#endif
extern "C" AEffect* VST_CALL ProbeMain(vst2::HostCallback host) { return CreateEffect(host, "main"); }
#endif

#if !defined(PROBE_WITH_VSTPLUGINMAIN) && !defined(PROBE_WITH_MAIN)
// A library with exports, none of them an entry point the host looks for.
extern "C" PROBE_EXPORT AEffect* VST_CALL ProbeUnlistedEntry(vst2::HostCallback host) {
    return CreateEffect(host, "unlisted");
}
#endif
