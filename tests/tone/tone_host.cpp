#include "tone_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

intptr_t VST_CALL HostCallback(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

}  // namespace

ToneHost::ToneHost(const std::string& path, HostOptions hostOptions)
    : options(hostOptions), library(std::make_unique<DynamicLibrary>(path)) {
    if (!library->IsLoaded()) return;
    auto entry = reinterpret_cast<vst2::EntryProc>(library->Symbol("VSTPluginMain"));
    if (entry == nullptr) entry = reinterpret_cast<vst2::EntryProc>(library->Symbol("main"));  // the old name
    if (entry == nullptr) return;
    vst2::AEffect* candidate = entry(HostCallback);
    if (candidate == nullptr || candidate->magic != vst2::kEffectMagic) return;
    // The plug-in's acceptance rule: a synth with two outputs that can replace.
    const int32_t flags = candidate->flags;
    const bool accepted = candidate->numOutputs >= 2 && (flags & vst2::effFlagsIsSynth) &&
                          (flags & (vst2::effFlagsCanReplacing | vst2::effFlagsCanDoubleReplacing));
    effect = candidate;
    if (!accepted || (options.doublePrecision && !(flags & vst2::effFlagsCanDoubleReplacing))) {
        Dispatch(vst2::effClose, 0, 0, nullptr, 0.0f);
        effect = nullptr;
        return;
    }
    Dispatch(vst2::effOpen, 0, 0, nullptr, 0.0f);
    Dispatch(vst2::effSetProgram, 0, 0, nullptr, 0.0f);
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(options.sampleRate));
    Dispatch(vst2::effSetBlockSize, 0, options.blockSize, nullptr, 0.0f);
    if (options.doublePrecision) Dispatch(vst2::effSetProcessPrecision, 0, 1, nullptr, 0.0f);
    Dispatch(vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
    Dispatch(vst2::effStartProcess, 0, 0, nullptr, 0.0f);
}

ToneHost::~ToneHost() {
    if (effect == nullptr) return;
    Dispatch(vst2::effStopProcess, 0, 0, nullptr, 0.0f);
    Dispatch(vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
    Dispatch(vst2::effClose, 0, 0, nullptr, 0.0f);
}

intptr_t ToneHost::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) const {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// After the events already sent: one for a past frame goes out with the next block.
std::vector<ToneHost::Pending>::iterator ToneHost::InsertAt(int64_t frame) {
    const auto first = pending.begin() + static_cast<ptrdiff_t>(nextPending);
    return std::upper_bound(first, pending.end(), frame, [](int64_t f, const Pending& p) { return f < p.frame; });
}

void ToneHost::MidiAt(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
    Pending event{frame, {status, data1, data2}};
    pending.insert(InsertAt(frame), std::move(event));
}

void ToneHost::SysexAt(int64_t frame, std::vector<uint8_t> bytes) {
    pending.insert(InsertAt(frame), Pending{frame, std::move(bytes)});
}

void ToneHost::SendEvents(int64_t blockStart, int blockFrames) {
    // Consumed events stay in place and are skipped: erasing from the front
    // would cost the whole list per block.
    size_t end = nextPending;
    while (end < pending.size() && pending[end].frame < blockStart + blockFrames) ++end;
    const size_t count = end - nextPending;

    // Scratch kept between blocks; the pointer array really holds `count`
    // entries after the fixed head.
    if (midi.size() < count) {
        midi.resize(count);
        sysex.resize(count);
    }
    eventStorage.assign(sizeof(vst2::VstEvents) + count * sizeof(vst2::VstEvent*), 0);
    auto* events = reinterpret_cast<vst2::VstEvents*>(eventStorage.data());
    events->numEvents = static_cast<int32_t>(count);
    for (size_t i = 0; i < count; ++i) {
        Pending& p = pending[nextPending + i];
        const int32_t delta = static_cast<int32_t>(std::max<int64_t>(0, p.frame - blockStart));
        if (!p.bytes.empty() && p.bytes[0] == 0xF0) {
            vst2::VstMidiSysexEvent& e = sysex[i];
            e = {};
            e.type = vst2::kVstSysExType;
            e.byteSize = sizeof(e);
            e.deltaFrames = delta;
            e.dumpBytes = static_cast<int32_t>(p.bytes.size());
            e.sysexDump = reinterpret_cast<char*>(p.bytes.data());
            vst2::EventPointers(events)[i] = reinterpret_cast<vst2::VstEvent*>(&e);
        } else {
            vst2::VstMidiEvent& e = midi[i];
            e = {};
            e.type = vst2::kVstMidiType;
            e.byteSize = sizeof(e);
            e.deltaFrames = delta;
            for (size_t b = 0; b < 3 && b < p.bytes.size(); ++b) e.midiData[b] = static_cast<char>(p.bytes[b]);
            vst2::EventPointers(events)[i] = reinterpret_cast<vst2::VstEvent*>(&e);
        }
    }
    Dispatch(vst2::effProcessEvents, 0, 0, events, 0.0f);
    nextPending = end;
}

void ToneHost::ProcessBlock(int frames) {
    const size_t at = left.size();
    left.resize(at + frames);
    right.resize(at + frames);
    if (options.doublePrecision) {
        double* outputs[2] = {left.data() + at, right.data() + at};
        effect->processDoubleReplacing(effect, nullptr, outputs, frames);
        return;
    }
    // Scratch kept between blocks: a host that allocated per block would time its own heap.
    if (floatLeft.size() < static_cast<size_t>(frames)) {
        floatLeft.resize(frames);
        floatRight.resize(frames);
    }
    std::fill(floatLeft.begin(), floatLeft.begin() + frames, 0.0f);
    std::fill(floatRight.begin(), floatRight.begin() + frames, 0.0f);
    float* outputs[2] = {floatLeft.data(), floatRight.data()};
    effect->processReplacing(effect, nullptr, outputs, frames);
    std::copy(floatLeft.begin(), floatLeft.begin() + frames, left.begin() + at);
    std::copy(floatRight.begin(), floatRight.begin() + frames, right.begin() + at);
}

void ToneHost::Render(int64_t frames) {
    if (effect == nullptr) return;
    while (frames > 0) {
        const int block = static_cast<int>(std::min<int64_t>(frames, options.blockSize));
        SendEvents(position, block);
        ProcessBlock(block);
        position += block;
        frames -= block;
    }
}

std::string ToneHost::Vendor() const {
    char buffer[256] = {};
    Dispatch(vst2::effGetVendorString, 0, 0, buffer, 0.0f);
    buffer[255] = '\0';
    return buffer;
}

std::string ToneHost::Product() const {
    char buffer[256] = {};
    Dispatch(vst2::effGetProductString, 0, 0, buffer, 0.0f);
    buffer[255] = '\0';
    return buffer;
}

double Peak(const std::vector<double>& samples, size_t from, size_t to) {
    double peak = 0.0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

double Rms(const std::vector<double>& samples, size_t from, size_t to) {
    to = std::min(to, samples.size());
    if (to <= from) return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}
