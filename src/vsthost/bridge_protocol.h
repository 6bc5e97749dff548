// What the plug-in and an instrument's host process say to each other, in
// shared memory. The layout has fixed widths and no pointers, so a 32-bit
// plug-in and a 64-bit host process (or the other way round) read it alike.
//
// The memory holds a header and a few slots. A sender (any thread of the
// player) claims an idle slot, writes a request into it, numbers it and
// queues it; the host process serves queued slots in that order, writes
// each reply into its slot and marks it answered. Slot states follow the
// host call's: queued, sleeping (the sender asked to be woken), done.
//
// The plug-in trusts nothing the host process writes: every reply is read
// through Reader, which checks each size, count and offset before use.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vsthost/block_request.h"
#include "vsthost/vst2.h"

namespace tavren::bridge {

constexpr uint32_t kMagic = 0x31425654;  // "TVB1"
constexpr uint32_t kVersion = 2;
constexpr uint32_t kSlotCount = 6;            // two songs rendering ahead, and calls besides
constexpr uint32_t kSlotBytes = 2u << 20;     // one request or reply
constexpr uint32_t kMaxNameBytes = 1024;      // a name asked of the instrument
constexpr uint32_t kMaxPathChars = 259;
constexpr uint32_t kMaxEditors = 4;

enum SlotState : uint32_t {
    kSlotIdle,
    kSlotClaimed,   // a sender is writing its request
    kSlotQueued,
    kSlotSleeping,  // queued, and its sender sleeps until the answer
    kSlotDone,
};

enum Command : uint32_t {
    kLoad = 1,     // the library: path; answers a LoadStatus
    kOpenEffect,   // a new instance: answers its id (0: refused) and snapshot
    kCloseEffect,  // id
    kDispatch,     // id, the call, bytes in; answers the result, bytes out, snapshot
    kPrepare,      // id, rate, width, block size; answers the preparation, snapshot
    kBlock,        // the block request: events of each part; answers the outputs
    kOpenEditors,  // position, instance ids of ports 0 to 3
    kCloseEditors, // instance ids; answers the first window's last position
    kQuit,
};

enum LoadStatus : uint32_t { kLoaded = 0, kNoLibrary = 1, kNoEntryPoint = 2 };

// The answer a slot holds besides its bytes.
enum SlotStatus : uint32_t { kStatusOk = 0, kStatusUnknownCommand = 1, kStatusBadRequest = 2 };

struct alignas(64) Header {
    uint32_t magic;
    uint32_t version;
    uint32_t slotCount;
    uint32_t slotBytes;
    std::atomic<uint32_t> posted;        // the next request's number
    std::atomic<uint32_t> signal;        // bumped for every request queued and for the quit
    std::atomic<uint32_t> hostSleeping;  // the host process waits for a request
    // A thread of the host process takes requests and looks again before it
    // stops: a request queued meanwhile needs nobody woken.
    std::atomic<uint32_t> taking;
};

struct alignas(64) SlotHead {
    std::atomic<uint32_t> state;
    uint32_t sequence;
    uint32_t command;
    uint32_t requestBytes;
    uint32_t replyBytes;
    uint32_t status;
};

static_assert(sizeof(std::atomic<uint32_t>) == 4, "shared words are plain 32-bit words");
static_assert(sizeof(Header) == 64 && sizeof(SlotHead) == 64, "the same layout in every build");

constexpr size_t SharedBytes() { return sizeof(Header) + kSlotCount * (sizeof(SlotHead) + size_t{kSlotBytes}); }

// The slot heads follow the header, the payloads follow the heads.
inline SlotHead* SlotAt(void* memory, uint32_t slot) {
    return reinterpret_cast<SlotHead*>(static_cast<unsigned char*>(memory) + sizeof(Header)) + slot;
}
inline unsigned char* PayloadAt(void* memory, uint32_t slot) {
    return static_cast<unsigned char*>(memory) + sizeof(Header) + kSlotCount * sizeof(SlotHead) +
           size_t{slot} * kSlotBytes;
}

// The instrument's AEffect fields the plug-in reads, as they were after a call.
struct Snapshot {
    int32_t magic = 0;
    int32_t flags = 0;
    int32_t numPrograms = 0;
    int32_t numParams = 0;
    int32_t numInputs = 0;
    int32_t numOutputs = 0;
    int32_t initialDelay = 0;
    int32_t uniqueID = 0;
    int32_t version = 0;
};
Snapshot SnapshotOf(const vst2::AEffect* effect);
void ApplySnapshot(const Snapshot& snapshot, vst2::AEffect* effect);

// Appends to a payload; once it would pass its end it stops and says so.
class Writer {
public:
    Writer(unsigned char* data, size_t capacity) : data_(data), capacity_(capacity) {}
    void Bytes(const void* bytes, size_t size);
    void U32(uint32_t value) { Bytes(&value, sizeof value); }
    void I32(int32_t value) { Bytes(&value, sizeof value); }
    void I64(int64_t value) { Bytes(&value, sizeof value); }
    void U64(uint64_t value) { Bytes(&value, sizeof value); }
    void F32(float value) { Bytes(&value, sizeof value); }
    void Put(const Snapshot& snapshot);
    // Room for size bytes written in place later; null when there is none.
    unsigned char* Reserve(size_t size);
    size_t Size() const { return size_; }
    size_t Room() const { return capacity_ - size_; }
    bool Ok() const { return ok_; }

private:
    unsigned char* data_;
    size_t capacity_;
    size_t size_ = 0;
    bool ok_ = true;
};

// Reads a payload; every read past its end fails, gives zeros, and leaves
// the reader failed for good.
class Reader {
public:
    Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool Bytes(void* out, size_t size);
    uint32_t U32();
    int32_t I32();
    int64_t I64();
    uint64_t U64();
    float F32();
    Snapshot GetSnapshot();
    // size bytes in place; null (and failed) when they are not all there.
    const unsigned char* Take(size_t size);
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && at_ == size_; }

private:
    const unsigned char* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

// What a dispatcher call answers: its result, the effect's fields after it,
// and the bytes it wrote (a name) or the rectangle it gave.
struct DispatchReply {
    int64_t result = 0;
    Snapshot snapshot;
    const unsigned char* bytes = nullptr;  // in the reply; null when none
    uint32_t byteCount = 0;                // at most kMaxNameBytes
    bool hasRect = false;
    vst2::ERect rect = {};
};
enum DispatchOut : uint32_t { kOutNone = 0, kOutBytes = 1, kOutRect = 2 };

// What a dispatcher call's pointer carries across, by opcode: a name the
// instrument writes (into a zeroed buffer of kMaxNameBytes), the rectangle
// it gives, or nothing (the instrument gets a null pointer).
enum class PointerUse { None, NameOut, RectOut };
PointerUse PointerUseOf(int32_t opcode);

// [player] Reads a dispatcher call's reply; false when it is not well formed.
bool ReadDispatchReply(Reader& reader, DispatchReply& reply);

// [player] Reads a block's reply into request: for each part its outputs
// into left and right (frames samples of sampleBytes[i], 4 or 8 each, the
// width it was prepared for), rendered, served, serviceMicros. False, with
// nothing rendered, when the reply does not answer this request exactly.
bool ReadBlockReply(Reader& reader, BlockRequest& request, const uint32_t* sampleBytes);

// Event records in a block request: a MIDI event is its type, delta and four
// data bytes; a SysEx one its type, delta, size and bytes, padded to four.
// Gives the events written; those that do not fit are dropped.
int32_t WriteEvents(Writer& writer, const vst2::VstEvents* events);

}  // namespace tavren::bridge
