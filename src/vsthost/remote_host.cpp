#include "vsthost/remote_host.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "config/failure_box.h"
#include "config/format_key.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/word_wait.h"
#include "vsthost/bridge_channel.h"
#include "vsthost/bridge_protocol.h"

namespace tavren {

namespace {

using namespace bridge;

// The host process has this long to answer any request, times the tests'
// time scale on machines that emulate the instrument's code.
constexpr uint32_t kAnswerMilliseconds = 10000;
// The host process has this long to end by itself when asked to.
constexpr uint32_t kQuitMilliseconds = 2000;
// Shorter paced sleeps than this are not worth a timer.
constexpr uint64_t kShortestSleepMicros = 20;

uint32_t TimeScale() {
    const char* text = std::getenv("TAVREN_TIME_SCALE");
    const long scale = text ? std::strtol(text, nullptr, 10) : 1;
    return scale >= 1 && scale <= 100 ? static_cast<uint32_t>(scale) : 1;
}

// The player's copy of an instance: the fields it reads, and the number the
// host process knows the real one by.
struct RemoteEffect {
    vst2::AEffect effect;  // first: the instance's effect pointer is this
    uint32_t id = 0;
    vst2::ERect rect = {};  // the last rectangle effEditGetRect answered
};
static_assert(offsetof(RemoteEffect, effect) == 0, "the shadow effect is the record's start");

RemoteEffect* RecordOf(vst2::AEffect* shadow) { return reinterpret_cast<RemoteEffect*>(shadow); }

// Never called: calls into a shadow go over the bridge. Set so that a stray
// call finds a function that answers nothing.
intptr_t VST_CALL ShadowDispatcher(vst2::AEffect*, int32_t, int32_t, intptr_t, void*, float) { return 0; }

}  // namespace

struct RemoteHost {
    Channel* channel = nullptr;
    void* memory = nullptr;
    char16_t path[kMaxPathChars + 1] = {};
    uint32_t answerMilliseconds = kAnswerMilliseconds;
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> blockAnswerSeen{0};  // when a block's answer was last taken (monotonic clock)
    // While the library loads or an instance opens, a failure is the open's
    // to report (its load-failure box names the reason): no box of its own.
    std::atomic<int> quietFailures{0};
    std::mutex reasonLock;
    char16_t reason[256] = {};  // [reasonLock] why it failed
};

namespace {

Header* HeaderOf(RemoteHost* remote) { return static_cast<Header*>(remote->memory); }

// Ends the host process once, and says what happened: in a box, unless an
// open will say it in its own.
void Fail(RemoteHost* remote, bool stoppedResponding) {
    if (remote->failed.exchange(true)) return;
    const Ending ending = EndHost(remote->channel, 0);
    const uint32_t code = ending.code;
    {
        std::lock_guard<std::mutex> guard(remote->reasonLock);
        DescribeInstrumentFailure(remote->reason, 256,
                                  stoppedResponding ? InstrumentFailure::StoppedResponding : InstrumentFailure::Crashed,
                                  code);
    }
    if (remote->quietFailures.load() == 0)
        ShowInstrumentFailure(remote->path,
                              stoppedResponding ? InstrumentFailure::StoppedResponding : InstrumentFailure::Crashed,
                              code);
}

// A free slot, claimed; -1 when the host process has failed or every slot
// stayed busy past the bound (requests nobody answers: it stopped responding).
int32_t Claim(RemoteHost* remote) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(remote->answerMilliseconds);
    for (;;) {
        if (remote->failed.load()) return -1;
        for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
            uint32_t idle = kSlotIdle;
            if (SlotAt(remote->memory, slot)->state.compare_exchange_strong(idle, kSlotClaimed)) return int32_t(slot);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Fail(remote, true);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

void Queue(RemoteHost* remote, int32_t slot, Command command, size_t bytes) {
    SlotHead* head = SlotAt(remote->memory, uint32_t(slot));
    head->command = command;
    head->requestBytes = static_cast<uint32_t>(bytes);
    head->replyBytes = 0;
    head->status = kStatusOk;
    Header* header = HeaderOf(remote);
    head->sequence = header->posted.fetch_add(1);
    head->state.store(kSlotQueued, std::memory_order_release);
    // The host process announces its sleep before its last look at signal,
    // and a taker its stop before its last look at the queue.
    header->signal.fetch_add(1);
    if (header->hostSleeping.load() && !header->taking.load()) WakeHost(remote->channel);
}

bool IsAnswered(SlotHead* head) { return head->state.load(std::memory_order_acquire) == kSlotDone; }

// Waits for the slot's answer; false when the host process failed first.
// With dueMicros (on the monotonic clock), another request of the caller's
// waits behind this one: sleep until then rather than asking to be woken.
bool Await(RemoteHost* remote, int32_t slot, uint64_t dueMicros, uint32_t* replyBytes) {
    SlotHead* head = SlotAt(remote->memory, uint32_t(slot));
    if (dueMicros) {
        for (uint64_t now = platform::MonotonicMicroseconds();
             !IsAnswered(head) && now + kShortestSleepMicros < dueMicros; now = platform::MonotonicMicroseconds())
            platform::WaitOnWord(&head->state, kSlotQueued, static_cast<uint32_t>(dueMicros - now));
    }
    for (int i = 0; i < 100 && !IsAnswered(head); ++i) std::this_thread::yield();
    uint32_t queued = kSlotQueued;
    if (head->state.compare_exchange_strong(queued, kSlotSleeping)) {
        for (;;) {
            const WaitEnd end = WaitForAnswer(remote->channel, uint32_t(slot), &head->state, kSlotSleeping,
                                              remote->answerMilliseconds);
            if (IsAnswered(head)) break;
            if (end == WaitEnd::Changed) continue;  // woken for nothing: wait on
            Fail(remote, end == WaitEnd::TimedOut);
            return false;
        }
    }
    if (!IsAnswered(head)) return false;
    // Read once: the host process may change it after the check.
    const uint32_t bytes = head->replyBytes;
    if (bytes > kSlotBytes || head->status != kStatusOk) {
        Fail(remote, false);  // a host process that answers nonsense is as good as crashed
        return false;
    }
    *replyBytes = bytes;
    return true;
}

void Release(RemoteHost* remote, int32_t slot) {
    if (slot >= 0) SlotAt(remote->memory, uint32_t(slot))->state.store(kSlotIdle, std::memory_order_release);
}

// One request and its answer. write fills the request; read takes the
// reply and gives whether it was well formed (a malformed one fails the host).
template <typename Write, typename Read>
bool Call(RemoteHost* remote, Command command, Write write, Read read) {
    const int32_t slot = Claim(remote);
    if (slot < 0) return false;
    Writer writer(PayloadAt(remote->memory, uint32_t(slot)), kSlotBytes);
    write(writer);
    if (!writer.Ok()) {
        Release(remote, slot);
        return false;
    }
    Queue(remote, slot, command, writer.Size());
    uint32_t replyBytes = 0;
    if (!Await(remote, slot, 0, &replyBytes)) return false;
    Reader reader(PayloadAt(remote->memory, uint32_t(slot)), replyBytes);
    const bool ok = read(reader);
    Release(remote, slot);
    if (!ok) Fail(remote, false);
    return ok;
}

uint32_t IdOf(const VstiInstance* instance) {
    return instance && instance->effect ? RecordOf(instance->effect)->id : 0;
}

// What one instance's block takes in a reply at most.
size_t BlockReplyBytes(int32_t blockSize) { return 3 * sizeof(uint32_t) + 2 * static_cast<size_t>(blockSize) * 8; }

}  // namespace

RemoteHost* StartRemoteHost(const char16_t* path, const char16_t* executable, char16_t* reason, size_t reasonChars) {
    Channel* channel = LaunchHost(executable, reason, reasonChars);
    if (!channel) return nullptr;
    auto* remote = new (std::nothrow) RemoteHost();
    if (!remote) {
        EndHost(channel, 0);
        CloseChannel(channel);
        return nullptr;
    }
    remote->channel = channel;
    remote->memory = Memory(channel);
    remote->answerMilliseconds = kAnswerMilliseconds * TimeScale();
    CopyText(remote->path, kMaxPathChars + 1, path);
    remote->quietFailures.fetch_add(1);
    uint32_t status = kNoLibrary;
    const bool answered = Call(
        remote, kLoad,
        [&](Writer& w) {
            const size_t chars = TextLength(remote->path);
            w.U32(static_cast<uint32_t>(chars));
            w.Bytes(remote->path, chars * sizeof(char16_t));
        },
        [&](Reader& r) {
            status = r.U32();
            return r.AtEnd();
        });
    remote->quietFailures.fetch_sub(1);
    if (answered && status == kLoaded) return remote;
    if (reason && reasonChars) {
        if (!answered) {
            std::lock_guard<std::mutex> guard(remote->reasonLock);
            CopyText(reason, reasonChars, remote->reason);
        } else {
            CopyText(reason, reasonChars,
                     status == kNoEntryPoint ? u"VSTi プラグインのエントリポイントがありません。"
                                             : u"VSTi プラグインをロード出来ませんでした。");
        }
    }
    StopRemoteHost(remote);
    return nullptr;
}

void StopRemoteHost(RemoteHost* remote) {
    if (!remote) return;
    if (!remote->failed.load()) {
        // Not waited for: the process ends by itself, or is ended below.
        const int32_t slot = Claim(remote);
        if (slot >= 0) Queue(remote, slot, kQuit, 0);
    }
    EndHost(remote->channel, remote->failed.load() ? 0 : kQuitMilliseconds);
    CloseChannel(remote->channel);
    delete remote;
}

bool RemoteHostFailed(const RemoteHost* remote) { return remote->failed.load(); }

void RemoteFailureReason(RemoteHost* remote, char16_t* reason, size_t reasonChars) {
    std::lock_guard<std::mutex> guard(remote->reasonLock);
    CopyText(reason, reasonChars, remote->reason);
}

vst2::AEffect* RemoteOpenEffect(RemoteHost* remote) {
    uint32_t id = 0;
    Snapshot snapshot;
    remote->quietFailures.fetch_add(1);
    Call(remote, kOpenEffect, [](Writer&) {},
         [&](Reader& r) {
             id = r.U32();
             snapshot = r.GetSnapshot();
             return r.AtEnd();
         });
    remote->quietFailures.fetch_sub(1);
    if (!id) return nullptr;
    auto* record = new (std::nothrow) RemoteEffect();
    if (!record) {
        Call(remote, kCloseEffect, [&](Writer& w) { w.U32(id); }, [](Reader& r) { return r.AtEnd(); });
        return nullptr;
    }
    record->id = id;
    ApplySnapshot(snapshot, &record->effect);
    record->effect.dispatcher = ShadowDispatcher;
    return &record->effect;
}

void RemoteCloseEffect(RemoteHost* remote, vst2::AEffect* shadow) {
    if (!shadow) return;
    RemoteEffect* record = RecordOf(shadow);
    Call(remote, kCloseEffect, [&](Writer& w) { w.U32(record->id); }, [](Reader& r) { return r.AtEnd(); });
    delete record;
}

intptr_t RemoteDispatch(RemoteHost* remote, vst2::AEffect* shadow, int32_t opcode, int32_t index, intptr_t value,
                        void* ptr, float opt) {
    RemoteEffect* record = RecordOf(shadow);
    DispatchReply reply;
    bool answered = Call(
        remote, kDispatch,
        [&](Writer& w) {
            w.U32(record->id);
            w.I32(opcode);
            w.I32(index);
            w.I64(value);
            w.F32(opt);
        },
        [&](Reader& r) { return ReadDispatchReply(r, reply); });
    if (!answered) return 0;
    ApplySnapshot(reply.snapshot, shadow);
    switch (PointerUseOf(opcode)) {
        case PointerUse::NameOut:
            if (ptr && reply.bytes) std::memcpy(ptr, reply.bytes, reply.byteCount);
            break;
        case PointerUse::RectOut:
            if (!ptr) break;
            record->rect = reply.rect;
            *static_cast<vst2::ERect**>(ptr) = reply.hasRect ? &record->rect : nullptr;
            break;
        case PointerUse::None: break;
    }
    return static_cast<intptr_t>(reply.result);
}

Preparation RemotePrepare(RemoteHost* remote, VstiInstance* instance, int32_t sampleRate, bool songDouble) {
    uint32_t preparation = static_cast<uint32_t>(Preparation::Unusable);
    int32_t blockSize = 0, outputs = 0, inputs = 0;
    Snapshot snapshot = SnapshotOf(instance->effect);
    const bool answered = Call(
        remote, kPrepare,
        [&](Writer& w) {
            w.U32(IdOf(instance));
            w.I32(sampleRate);
            w.U32(songDouble ? 1 : 0);
        },
        [&](Reader& r) {
            preparation = r.U32();
            blockSize = r.I32();
            outputs = r.I32();
            inputs = r.I32();
            snapshot = r.GetSnapshot();
            return r.AtEnd() && preparation <= static_cast<uint32_t>(Preparation::Unusable);
        });
    if (!answered) return Preparation::Unusable;
    ApplySnapshot(snapshot, instance->effect);
    instance->sampleRate = sampleRate;
    instance->blockSize = blockSize;
    const auto result = static_cast<Preparation>(preparation);
    if (result != Preparation::Ready) return result;
    // Eight instances' outputs of a block must fit one answer.
    if (blockSize <= 0 || BlockReplyBytes(blockSize) * kMaxBlockInstances + 2 * sizeof(uint32_t) > kSlotBytes)
        return Preparation::Unusable;
    instance->outputCount = outputs;
    instance->inputCount = inputs;
    instance->processDouble = songDouble;
    return Preparation::Ready;
}

void RemotePostBlock(RemoteHost* remote, BlockRequest& request) {
    request.bridgeSlot = -1;
    request.failed = false;
    const int32_t slot = Claim(remote);
    if (slot < 0) {
        request.failed = true;
        return;
    }
    Writer w(PayloadAt(remote->memory, uint32_t(slot)), kSlotBytes);
    w.U32(static_cast<uint32_t>(request.count));
    w.U32(request.bounded ? 1 : 0);
    w.U32(request.clockStart);
    w.U32(request.limitMs);
    for (int32_t i = 0; i < request.count; ++i) {
        const InstanceBlock& part = request.parts[i];
        w.U32(IdOf(part.instance));
        w.I32(part.frames);
        w.U64(part.blockStart);
        w.U32(part.events ? 1 : 0);
        // Events that would not leave room for the other parts are dropped.
        if (part.events) WriteEvents(w, part.events);
    }
    if (!w.Ok()) {
        Release(remote, slot);
        request.failed = true;
        return;
    }
    Queue(remote, slot, kBlock, w.Size());
    request.bridgeSlot = slot;
}

void RemoteWaitBlock(RemoteHost* remote, BlockRequest& request, uint32_t expectedMicros) {
    const int32_t slot = request.bridgeSlot;
    request.bridgeSlot = -1;
    if (slot < 0) return;  // never posted: failed already
    // This block was queued before the last one was answered, and the host
    // process went on with it then: it is due a service time after that
    // answer was seen, not after this wait starts.
    uint64_t due = 0;
    if (expectedMicros > kShortestSleepMicros && WakingIsDear()) {
        const uint64_t now = platform::MonotonicMicroseconds();
        const uint64_t seen = remote->blockAnswerSeen.load();
        due = (seen && seen <= now ? seen : now) + expectedMicros;
    }
    uint32_t replyBytes = 0;
    if (!Await(remote, slot, due, &replyBytes)) {
        request.failed = true;
        return;
    }
    remote->blockAnswerSeen.store(platform::MonotonicMicroseconds());
    uint32_t sampleBytes[kMaxBlockInstances] = {};
    for (int32_t i = 0; i < request.count; ++i) sampleBytes[i] = request.parts[i].instance->processDouble ? 8 : 4;
    Reader reader(PayloadAt(remote->memory, uint32_t(slot)), replyBytes);
    const bool ok = ReadBlockReply(reader, request, sampleBytes);
    Release(remote, slot);
    if (!ok) {
        Fail(remote, false);
        request.failed = true;
    }
}

void RemoteOpenEditors(RemoteHost* remote, VstiInstance* const* instances, int32_t count, int32_t x, int32_t y) {
    if (count > int32_t(kMaxEditors)) count = kMaxEditors;
    Call(
        remote, kOpenEditors,
        [&](Writer& w) {
            w.I32(x);
            w.I32(y);
            w.U32(static_cast<uint32_t>(count));
            for (int32_t i = 0; i < count; ++i) w.U32(IdOf(instances[i]));
        },
        [](Reader& r) { return r.AtEnd(); });
}

void RemoteCloseEditors(RemoteHost* remote, VstiInstance* const* instances, int32_t count, int32_t* x, int32_t* y) {
    if (count > int32_t(kMaxEditors)) count = kMaxEditors;
    Call(
        remote, kCloseEditors,
        [&](Writer& w) {
            w.U32(static_cast<uint32_t>(count));
            for (int32_t i = 0; i < count; ++i) w.U32(IdOf(instances[i]));
        },
        [&](Reader& r) {
            const int32_t rx = r.I32(), ry = r.I32();
            if (!r.AtEnd()) return false;
            *x = rx;
            *y = ry;
            return true;
        });
}

}  // namespace tavren
