// A block's events as effProcessEvents hands them to an instrument.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "vsthost/block_request.h"

namespace tavren {

namespace {

// Bytes of a channel message: program change and channel pressure have one data byte.
int32_t MessageLength(uint32_t message) {
    uint32_t kind = message & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

}  // namespace

const vst2::VstEvents* BuildEvents(const EventList& list, uint64_t blockStart, EventBlock& scratch) {
    const size_t n = list.size();
    // Sized for n pointers after the fixed head; grown, never shrunk.
    const size_t headBytes =
        std::max(sizeof(vst2::VstEvents), offsetof(vst2::VstEvents, events) + n * sizeof(vst2::VstEvent*));
    if (scratch.head.size() < headBytes) scratch.head.resize(headBytes);
    if (scratch.records.size() < n) scratch.records.resize(n);
    std::memset(scratch.head.data(), 0, headBytes);
    if (n) std::memset(static_cast<void*>(scratch.records.data()), 0, n * sizeof(EventRecord));
    auto* events = reinterpret_cast<vst2::VstEvents*>(scratch.head.data());
    vst2::VstEvent** pointers = vst2::EventPointers(events);
    EventRecord* records = scratch.records.data();

    int32_t delivered = 0;
    for (size_t i = 0; i < n; ++i) {
        const SongEvent& e = *list[i];
        if (IsEndOfTrack(e.message)) continue;  // never delivered to the instrument
        int64_t offset = e.time - static_cast<int64_t>(blockStart);
        if (offset < 0) offset = 0;
        EventRecord& record = records[i];
        if (IsSysexMessage(e.message)) {
            record.sysex.type = vst2::kVstSysExType;
            record.sysex.byteSize = sizeof(vst2::VstMidiSysexEvent);
            record.sysex.deltaFrames = static_cast<int32_t>(offset);
            record.sysex.dumpBytes = static_cast<int32_t>(e.sysex.size());
            record.sysex.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(e.sysex.data()));
        } else {
            record.midi.type = vst2::kVstMidiType;
            record.midi.byteSize = sizeof(vst2::VstMidiEvent);
            record.midi.deltaFrames = static_cast<int32_t>(offset);
            record.midi.noteLength = MessageLength(e.message);
            for (int b = 0; b < 4; ++b) record.midi.midiData[b] = static_cast<char>((e.message >> (8 * b)) & 0xFF);
        }
        pointers[delivered++] = reinterpret_cast<vst2::VstEvent*>(&record);
    }
    events->numEvents = delivered;
    return events;
}

}  // namespace tavren
