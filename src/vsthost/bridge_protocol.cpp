#include "vsthost/bridge_protocol.h"

namespace tavren::bridge {

Snapshot SnapshotOf(const vst2::AEffect* effect) {
    Snapshot s;
    s.magic = effect->magic;
    s.flags = effect->flags;
    s.numPrograms = effect->numPrograms;
    s.numParams = effect->numParams;
    s.numInputs = effect->numInputs;
    s.numOutputs = effect->numOutputs;
    s.initialDelay = effect->initialDelay;
    s.uniqueID = effect->uniqueID;
    s.version = effect->version;
    return s;
}

void ApplySnapshot(const Snapshot& s, vst2::AEffect* effect) {
    effect->magic = s.magic;
    effect->flags = s.flags;
    effect->numPrograms = s.numPrograms;
    effect->numParams = s.numParams;
    effect->numInputs = s.numInputs;
    effect->numOutputs = s.numOutputs;
    effect->initialDelay = s.initialDelay;
    effect->uniqueID = s.uniqueID;
    effect->version = s.version;
}

void Writer::Bytes(const void* bytes, size_t size) {
    if (!ok_ || size > capacity_ - size_) {
        ok_ = false;
        return;
    }
    if (size) std::memcpy(data_ + size_, bytes, size);
    size_ += size;
}

unsigned char* Writer::Reserve(size_t size) {
    if (!ok_ || size > capacity_ - size_) {
        ok_ = false;
        return nullptr;
    }
    unsigned char* at = data_ + size_;
    size_ += size;
    return at;
}

void Writer::Put(const Snapshot& s) {
    const int32_t fields[] = {s.magic,    s.flags,        s.numPrograms, s.numParams, s.numInputs,
                              s.numOutputs, s.initialDelay, s.uniqueID,   s.version};
    Bytes(fields, sizeof fields);
}

bool Reader::Bytes(void* out, size_t size) {
    if (!ok_ || size > size_ - at_) {
        ok_ = false;
        std::memset(out, 0, size);
        return false;
    }
    if (size) std::memcpy(out, data_ + at_, size);
    at_ += size;
    return true;
}

const unsigned char* Reader::Take(size_t size) {
    if (!ok_ || size > size_ - at_) {
        ok_ = false;
        return nullptr;
    }
    const unsigned char* at = data_ + at_;
    at_ += size;
    return at;
}

uint32_t Reader::U32() {
    uint32_t v;
    Bytes(&v, sizeof v);
    return v;
}
int32_t Reader::I32() {
    int32_t v;
    Bytes(&v, sizeof v);
    return v;
}
int64_t Reader::I64() {
    int64_t v;
    Bytes(&v, sizeof v);
    return v;
}
uint64_t Reader::U64() {
    uint64_t v;
    Bytes(&v, sizeof v);
    return v;
}
float Reader::F32() {
    float v;
    Bytes(&v, sizeof v);
    return v;
}

Snapshot Reader::GetSnapshot() {
    int32_t fields[9];
    Bytes(fields, sizeof fields);
    Snapshot s;
    s.magic = fields[0];
    s.flags = fields[1];
    s.numPrograms = fields[2];
    s.numParams = fields[3];
    s.numInputs = fields[4];
    s.numOutputs = fields[5];
    s.initialDelay = fields[6];
    s.uniqueID = fields[7];
    s.version = fields[8];
    return s;
}

int32_t WriteEvents(Writer& writer, const vst2::VstEvents* events) {
    unsigned char* countAt = writer.Reserve(sizeof(uint32_t));
    if (!countAt) return 0;
    int32_t written = 0;
    const int32_t count = events ? events->numEvents : 0;
    for (int32_t i = 0; i < count; ++i) {
        const vst2::VstEvent* event = vst2::EventPointers(events)[i];
        if (!event) continue;
        if (event->type == vst2::kVstSysExType) {
            const auto* sysex = reinterpret_cast<const vst2::VstMidiSysexEvent*>(event);
            const uint32_t size = sysex->dumpBytes > 0 ? static_cast<uint32_t>(sysex->dumpBytes) : 0;
            const uint32_t padded = (size + 3u) & ~3u;
            if (writer.Room() < 3 * sizeof(uint32_t) + padded) break;  // dropped with those after it
            writer.U32(vst2::kVstSysExType);
            writer.I32(sysex->deltaFrames);
            writer.U32(size);
            unsigned char* bytes = writer.Reserve(padded);
            std::memset(bytes, 0, padded);
            if (size) std::memcpy(bytes, sysex->sysexDump, size);
        } else {
            const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(event);
            if (writer.Room() < 4 * sizeof(uint32_t)) break;
            writer.U32(vst2::kVstMidiType);
            writer.I32(midi->deltaFrames);
            writer.I32(midi->noteLength);
            writer.Bytes(midi->midiData, 4);
        }
        ++written;
    }
    const uint32_t n = static_cast<uint32_t>(written);
    std::memcpy(countAt, &n, sizeof n);
    return written;
}

PointerUse PointerUseOf(int32_t opcode) {
    switch (opcode) {
        case vst2::effGetVendorString:
        case vst2::effGetProductString: return PointerUse::NameOut;
        case vst2::effEditGetRect: return PointerUse::RectOut;
        default: return PointerUse::None;
    }
}

bool ReadDispatchReply(Reader& reader, DispatchReply& reply) {
    reply = DispatchReply();
    reply.result = reader.I64();
    reply.snapshot = reader.GetSnapshot();
    const uint32_t kind = reader.U32();
    const uint32_t count = reader.U32();
    if (!reader.Ok()) return false;
    if (kind == kOutBytes) {
        if (count > kMaxNameBytes) return false;
        reply.bytes = reader.Take(count);
        reply.byteCount = count;
    } else if (kind == kOutRect) {
        if (count != sizeof(vst2::ERect)) return false;
        reply.hasRect = reader.Bytes(&reply.rect, sizeof reply.rect);
    } else if (kind != kOutNone || count != 0) {
        return false;
    }
    return reader.AtEnd();
}

bool ReadBlockReply(Reader& reader, BlockRequest& request, const uint32_t* sampleBytes) {
    for (int32_t i = 0; i < request.count; ++i) request.parts[i].rendered = false;
    const int32_t served = reader.I32();
    const uint32_t serviceMicros = reader.U32();
    if (!reader.Ok() || served < 0 || served > request.count) return false;
    // Copied only once the whole reply has proved sound.
    const unsigned char* outputs[kMaxBlockInstances] = {};
    for (int32_t i = 0; i < request.count; ++i) {
        const InstanceBlock& part = request.parts[i];
        const uint32_t rendered = reader.U32();
        const int32_t frames = reader.I32();
        const uint32_t width = reader.U32();
        if (!reader.Ok() || rendered > 1) return false;
        if (!rendered) continue;
        if (i >= served || frames != part.frames || frames <= 0 || width != sampleBytes[i] || !part.left ||
            !part.right)
            return false;
        outputs[i] = reader.Take(2 * static_cast<size_t>(frames) * width);
        if (!outputs[i]) return false;
    }
    if (!reader.AtEnd()) return false;
    for (int32_t i = 0; i < request.count; ++i) {
        if (!outputs[i]) continue;
        InstanceBlock& part = request.parts[i];
        const size_t bytes = static_cast<size_t>(part.frames) * sampleBytes[i];
        std::memcpy(part.left, outputs[i], bytes);
        std::memcpy(part.right, outputs[i] + bytes, bytes);
        part.rendered = true;
    }
    request.served = served;
    request.serviceMicros = serviceMicros;
    return true;
}

}  // namespace tavren::bridge
