#include "vsthost/bridge_server.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/text.h"
#include "platform/word_wait.h"
#include "playback/playback_state.h"
#include "vsthost/block_request.h"
#include "vsthost/bridge_protocol.h"
#include "vsthost/editor.h"
#include "vsthost/host_call.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"
#include "vsthost/instrument_call.h"

namespace tavren::bridge {

namespace {

struct Server {
    Channel* channel = nullptr;
    void* memory = nullptr;
    VstiHost* host = nullptr;
    // Requests are taken in their order by one taker at a time (the
    // header's taking word): the main thread, or the host thread while it
    // drains the queue. A block posted ahead is then served as soon as the
    // one before it is answered, with nobody woken on either side.
    std::atomic<uint32_t> next{0};  // [taker] the sequence number to take next
    HostCall drain;
    // [host thread] Everything below: the requests run there, one at a time.
    std::vector<VstiInstance*> instances;  // by id - 1; null once closed
    BlockRequest block;
    EventBlock events[kMaxBlockInstances];  // each part's VstEvents and records
    std::vector<unsigned char> outputs[kMaxBlockInstances];
};

Header& HeaderOf(Server& server) { return *static_cast<Header*>(server.memory); }

VstiInstance* Find(Server& server, uint32_t id) {
    return id >= 1 && id <= server.instances.size() ? server.instances[id - 1] : nullptr;
}

// [host thread or main thread] The slot's answer, and its sender woken if it sleeps.
void Answer(Server& server, uint32_t slot, size_t replyBytes, uint32_t status) {
    SlotHead* head = SlotAt(server.memory, slot);
    head->replyBytes = static_cast<uint32_t>(replyBytes);
    head->status = status;
    if (head->state.exchange(kSlotDone, std::memory_order_acq_rel) == kSlotSleeping) WakePlayer(server.channel, slot);
}

uint32_t OpenEffectRequest(Server& server, Writer& w) {
    VstiInstance* instance = MakeInstance(server.host, OpenEffectOnHost(server.host));
    uint32_t id = 0;
    if (instance) {
        server.instances.push_back(instance);
        id = static_cast<uint32_t>(server.instances.size());
    }
    w.U32(id);
    w.Put(instance ? SnapshotOf(instance->effect) : Snapshot());
    return kStatusOk;
}

uint32_t CloseEffectRequest(Server& server, Reader& r) {
    const uint32_t id = r.U32();
    VstiInstance* instance = Find(server, id);
    if (!r.AtEnd() || !instance) return kStatusBadRequest;
    server.instances[id - 1] = nullptr;
    DestroyInstance(instance);
    return kStatusOk;
}

uint32_t DispatchRequestOf(Server& server, Reader& r, Writer& w) {
    VstiInstance* instance = Find(server, r.U32());
    DispatchRequest call;
    call.opcode = r.I32();
    call.index = r.I32();
    call.value = static_cast<intptr_t>(r.I64());
    call.opt = r.F32();
    if (!r.AtEnd() || !instance) return kStatusBadRequest;
    char name[kMaxNameBytes] = {};
    vst2::ERect* rect = nullptr;
    const PointerUse use = PointerUseOf(call.opcode);
    if (use == PointerUse::NameOut) call.ptr = name;
    if (use == PointerUse::RectOut) call.ptr = &rect;
    const intptr_t result = RunDispatch(server.host, instance->effect, call);
    w.I64(result);
    w.Put(SnapshotOf(instance->effect));
    if (use == PointerUse::NameOut) {
        // Up to its terminator: real instruments write far past the 64 bytes a name may have.
        const size_t length = strnlen(name, kMaxNameBytes);
        const size_t bytes = length < kMaxNameBytes ? length + 1 : kMaxNameBytes;
        w.U32(kOutBytes);
        w.U32(static_cast<uint32_t>(bytes));
        w.Bytes(name, bytes);
    } else if (use == PointerUse::RectOut && result && rect) {
        w.U32(kOutRect);
        w.U32(sizeof(vst2::ERect));
        w.Bytes(rect, sizeof(vst2::ERect));
    } else {
        w.U32(kOutNone);
        w.U32(0);
    }
    return kStatusOk;
}

uint32_t PrepareRequest(Server& server, Reader& r, Writer& w) {
    VstiInstance* instance = Find(server, r.U32());
    const int32_t rate = r.I32();
    const bool songDouble = r.U32() != 0;
    if (!r.AtEnd() || !instance) return kStatusBadRequest;
    const Preparation preparation = PrepareForSong(instance, rate, songDouble);
    w.U32(static_cast<uint32_t>(preparation));
    w.I32(instance->blockSize);
    w.I32(instance->outputCount);
    w.I32(instance->inputCount);
    w.Put(SnapshotOf(instance->effect));
    return kStatusOk;
}

// The events of one part into its VstEvents, as the player built them.
bool ReadEvents(Server& server, int32_t part, Reader& r) {
    const uint32_t count = r.U32();
    if (!r.Ok() || count > kSlotBytes / 16) return false;
    std::vector<unsigned char>& head = server.events[part].head;
    std::vector<EventRecord>& records = server.events[part].records;
    const size_t headBytes = offsetof(vst2::VstEvents, events) + (count + 2) * sizeof(vst2::VstEvent*);
    if (head.size() < headBytes) head.resize(headBytes);
    if (records.size() < count) records.resize(count);
    auto* events = reinterpret_cast<vst2::VstEvents*>(head.data());
    std::memset(head.data(), 0, headBytes);
    for (uint32_t i = 0; i < count; ++i) {
        EventRecord& record = records[i];
        std::memset(&record, 0, sizeof record);
        const uint32_t type = r.U32();
        const int32_t delta = r.I32();
        if (type == vst2::kVstSysExType) {
            const uint32_t size = r.U32();
            const unsigned char* bytes = r.Take((size + 3u) & ~3u);
            if (!bytes || size > kSlotBytes) return false;
            record.sysex.type = vst2::kVstSysExType;
            record.sysex.byteSize = sizeof(vst2::VstMidiSysexEvent);
            record.sysex.deltaFrames = delta;
            record.sysex.dumpBytes = static_cast<int32_t>(size);
            // The bytes stay in the request while the block renders.
            record.sysex.sysexDump = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
        } else {
            record.midi.type = vst2::kVstMidiType;
            record.midi.byteSize = sizeof(vst2::VstMidiEvent);
            record.midi.deltaFrames = delta;
            record.midi.noteLength = r.I32();
            r.Bytes(record.midi.midiData, 4);
        }
        if (!r.Ok()) return false;
        vst2::EventPointers(events)[i] = reinterpret_cast<vst2::VstEvent*>(&record);
    }
    events->numEvents = static_cast<int32_t>(count);
    return true;
}

uint32_t BlockRequestOf(Server& server, Reader& r, Writer& w) {
    BlockRequest& block = server.block;
    const uint32_t count = r.U32();
    if (count > kMaxBlockInstances) return kStatusBadRequest;
    block.count = static_cast<int32_t>(count);
    block.bounded = r.U32() != 0;
    block.clockStart = r.U32();
    block.limitMs = r.U32();
    block.cancelled.store(false);
    for (int32_t i = 0; i < block.count; ++i) {
        InstanceBlock& part = block.parts[i];
        part.instance = Find(server, r.U32());
        part.frames = r.I32();
        part.blockStart = r.U64();
        const bool hasEvents = r.U32() != 0;
        if (!r.Ok() || !part.instance || part.frames > part.instance->blockSize) return kStatusBadRequest;
        part.events = nullptr;
        if (hasEvents) {
            if (!ReadEvents(server, i, r)) return kStatusBadRequest;
            part.events = reinterpret_cast<const vst2::VstEvents*>(server.events[i].head.data());
        }
        const size_t sampleBytes = part.instance->processDouble ? 8 : 4;
        std::vector<unsigned char>& out = server.outputs[i];
        const size_t frames = part.frames > 0 ? static_cast<size_t>(part.frames) : 0;
        if (out.size() < 2 * frames * sampleBytes) out.resize(2 * frames * sampleBytes);
        part.left = out.data();
        part.right = out.data() + frames * sampleBytes;
    }
    if (!r.AtEnd()) return kStatusBadRequest;
    ServeBlock(block);
    w.I32(block.served);
    w.U32(block.serviceMicros);
    for (int32_t i = 0; i < block.count; ++i) {
        const InstanceBlock& part = block.parts[i];
        const uint32_t sampleBytes = part.instance->processDouble ? 8 : 4;
        w.U32(part.rendered ? 1 : 0);
        w.I32(part.frames);
        w.U32(sampleBytes);
        if (part.rendered) w.Bytes(server.outputs[i].data(), 2 * static_cast<size_t>(part.frames) * sampleBytes);
    }
    return w.Ok() ? kStatusOk : kStatusBadRequest;
}

// The editors' requests: the instances by id in a state of their own.
bool ReadEditorInstances(Server& server, Reader& r, PlaybackState& playback) {
    const uint32_t count = r.U32();
    if (!r.Ok() || count > kMaxEditors) return false;
    playback.instanceCount = static_cast<int32_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
        playback.instances[i] = Find(server, r.U32());
        if (!playback.instances[i]) return false;
    }
    return r.AtEnd();
}

uint32_t OpenEditorsRequest(Server& server, Reader& r) {
    const int32_t x = r.I32(), y = r.I32();
    PlaybackState playback;
    if (!ReadEditorInstances(server, r, playback)) return kStatusBadRequest;
    if (playback.instanceCount > 0) OpenEditorWindows(playback, x, y);
    return kStatusOk;
}

uint32_t CloseEditorsRequest(Server& server, Reader& r, Writer& w) {
    PlaybackState playback;
    if (!ReadEditorInstances(server, r, playback)) return kStatusBadRequest;
    int32_t x = 0, y = 0;
    if (playback.instanceCount > 0) CloseEditorWindows(playback, &x, &y);
    w.I32(x);
    w.I32(y);
    return kStatusOk;
}

// [host thread] One request, answered.
void ServeSlot(Server& server, uint32_t slot) {
    SlotHead* head = SlotAt(server.memory, slot);
    unsigned char* payload = PayloadAt(server.memory, slot);
    // Each handler reads all of its request before it writes its reply over
    // it (a block renders, SysEx bytes still in the request, before it writes).
    Reader r(payload, head->requestBytes <= kSlotBytes ? head->requestBytes : 0);
    Writer w(payload, kSlotBytes);
    uint32_t status = kStatusUnknownCommand;
    switch (head->command) {
        case kOpenEffect: status = OpenEffectRequest(server, w); break;
        case kCloseEffect: status = CloseEffectRequest(server, r); break;
        case kDispatch: status = DispatchRequestOf(server, r, w); break;
        case kPrepare: status = PrepareRequest(server, r, w); break;
        case kBlock: status = BlockRequestOf(server, r, w); break;
        case kOpenEditors: status = OpenEditorsRequest(server, r); break;
        case kCloseEditors: status = CloseEditorsRequest(server, r, w); break;
        default: break;
    }
    Answer(server, slot, status == kStatusOk ? w.Size() : 0, status);
}

uint32_t LoadLibraryRequest(Server& server, uint32_t slot) {
    SlotHead* head = SlotAt(server.memory, slot);
    Reader r(PayloadAt(server.memory, slot), head->requestBytes <= kSlotBytes ? head->requestBytes : 0);
    const uint32_t chars = r.U32();
    char16_t path[kMaxPathChars + 1] = {};
    if (chars > kMaxPathChars || !r.Bytes(path, chars * sizeof(char16_t)) || !r.AtEnd()) return kStatusBadRequest;
    if (!server.host) server.host = StartHost(path);
    Writer w(PayloadAt(server.memory, slot), kSlotBytes);
    w.U32(server.host ? kLoaded : kNoLibrary);
    Answer(server, slot, w.Size(), kStatusOk);
    return kStatusOk;
}

// The queued slot numbered sequence, or -1 while it is not there yet.
int32_t FindQueued(void* memory, uint32_t sequence) {
    for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
        SlotHead* head = SlotAt(memory, slot);
        const uint32_t state = head->state.load(std::memory_order_acquire);
        if ((state == kSlotQueued || state == kSlotSleeping) && head->sequence == sequence) return int32_t(slot);
    }
    return -1;
}

// The next request when the host thread serves it, else -1 (not there yet,
// or one only the main thread takes: loading and quitting).
int32_t FindServable(Server& server) {
    const int32_t slot = FindQueued(server.memory, server.next.load());
    if (slot < 0) return -1;
    const uint32_t command = SlotAt(server.memory, uint32_t(slot))->command;
    return command == kLoad || command == kQuit ? -1 : slot;
}

// [host thread, taker] Serves requests in their order while the next one is
// there, then gives up taking. A request that comes after the last look is
// then either seen by the look after giving up or by the main thread.
void Drain(VstiHost* host, void* arg) {
    Server& server = *static_cast<Server*>(arg);
    uint64_t pumped = platform::MonotonicMicroseconds();
    for (;;) {
        const int32_t slot = FindServable(server);
        if (slot >= 0) {
            server.next.fetch_add(1);
            ServeSlot(server, uint32_t(slot));
            const uint64_t now = platform::MonotonicMicroseconds();
            if (now - pumped >= kPumpIntervalMicros) {
                PumpHostMessages(host);
                pumped = now;
            }
            continue;
        }
        std::atomic<uint32_t>& taking = HeaderOf(server).taking;
        taking.store(0);
        // Taken again, it looks once more from the top: the main thread may have taken meanwhile.
        uint32_t free = 0;
        if (FindServable(server) < 0 || !taking.compare_exchange_strong(free, 1)) break;
    }
    // The next request may be one for the main thread, which may sleep
    // having seen that request taken by this drain.
    if (FindQueued(server.memory, server.next.load()) >= 0) {
        HeaderOf(server).signal.fetch_add(1);
        WakeHost(server.channel);
    }
}

// [host thread] Whatever the player left open.
void CloseAll(VstiHost*, void* arg) {
    Server& server = *static_cast<Server*>(arg);
    for (VstiInstance*& instance : server.instances) {
        if (instance) DestroyInstance(instance);
        instance = nullptr;
    }
}

}  // namespace

int ServeBridge(Channel* channel) {
    SetInstrumentFaultHandler(EndThisProcess);
    auto* server = new (std::nothrow) Server();
    if (!server) return 1;
    server->channel = channel;
    server->memory = Memory(channel);
    auto* header = static_cast<Header*>(server->memory);
    for (;;) {
        const uint32_t seen = header->signal.load();
        uint32_t free = 0;
        if (header->taking.compare_exchange_strong(free, 1)) {
            const int32_t found = FindQueued(server->memory, server->next.load());
            if (found >= 0) {
                const auto slot = static_cast<uint32_t>(found);
                const uint32_t command = SlotAt(server->memory, slot)->command;
                if (command == kQuit) break;
                if (command == kLoad || !server->host) {
                    server->next.fetch_add(1);
                    const uint32_t status = command == kLoad ? LoadLibraryRequest(*server, slot) : kStatusBadRequest;
                    if (status != kStatusOk) Answer(*server, slot, 0, status);
                    header->taking.store(0);
                    continue;
                }
                // The host thread takes from here on, this request and those behind it.
                WaitCall(&server->drain);
                server->drain.run = Drain;
                server->drain.arg = server;
                PostCall(server->host, &server->drain);
                continue;
            }
            header->taking.store(0);
        }
        if (!WaitForRequest(channel, seen)) std::_Exit(0);  // the player is gone
    }
    // The instances are closed; the library stays loaded and its thread
    // runs on while the process ends: unloading it would only give an
    // instrument's teardown the chance to hang a process that is ending anyway.
    if (server->host) {
        HostCall close;
        close.run = CloseAll;
        close.arg = server;
        PostCall(server->host, &close);
        WaitCall(&close);
    }
    WaitCall(&server->drain);
    delete server;
    return 0;
}

}  // namespace tavren::bridge
