// libFuzzer entry for a song played end to end through the plug-in's one
// export, as the host player plays it: a module made with a settings store
// of our own, the song opened through it with probe or tone as the
// instrument, a short script of renders, seeks, setting changes and a second
// decoder, then everything released (input layout: song_input.h).
//
// Besides crashes, sanitizer reports and leaks, each input checks:
// - the media information: a valid rate and format, the song's length as
//   the reader counts it, the loop flag exactly when there is a loop marker;
// - every Render gives at most one block, of finite samples, and once it has
//   given 0 it gives 0 until a seek;
// - a song without a loop marker ends: no block starts past its end (its
//   last event or its length, whichever is later) plus its five-second tail,
//   and rendering on from anywhere reaches the end within that bound;
// - a seek reaches no position past the target's block, nor past the song's
//   end plus its tail unless the song ended on the way and the position is
//   the target's block (a play-through past the end goes on to the target);
// - releasing everything leaves no thread, no loaded instrument and no
//   reference on the settings store behind.
// Inputs stay bounded: a budget of instrument blocks per input, to which
// every render, seek and reset is counted before it runs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/invariant.h"
#include "common/process_state.h"
#include "frame/host_interface.h"
#include "host_doubles.h"
#include "midi/smf_reader.h"
#include "song_input.h"

extern "C" tavren::HmxResult HMX_CALL hmx_CreateInstance(const tavren::HmxGuid* iid, void** out,
                                                         tavren::IUnknown* host);

namespace {

using namespace tavren;
using namespace fuzzsupport;
using namespace songfuzz;

// Instrument blocks (blocks times instances) one input may cost.
constexpr uint64_t kBudget = 1200;
constexpr uint64_t kTailSeconds = 5;
// Batches of the song-start reset before its settling blocks.
constexpr uint64_t kResetBatches = 21;

[[noreturn]] void Broken(const char* what) { fuzzsupport::Broken("song", what); }

void Check(bool holds, const char* what) {
    if (!holds) Broken(what);
}

void SetOrClear(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

void ChooseInstrument(const InstrumentChoice& choice) {
    SetOrClear("PROBE_FLAGS", choice.flags);
    SetOrClear("PROBE_OUTPUTS", choice.outputs);
    SetOrClear("PROBE_INPUTS", choice.inputs);
}

template <typename T, size_t N>
const T& Pick(const T (&table)[N], uint8_t byte) {
    return table[byte % N];
}

void PutIfGiven(test::MemoryStore& store, const char16_t* key, const char16_t* text) {
    if (text) store.Put(key, text);
}

// What the reader makes of the file at the song's rate: the bound of the
// song's end and whether it loops, known without asking the plug-in.
struct SongFacts {
    uint64_t length = 0;  // lengthSamples
    uint64_t end = 0;     // its last event or its length, whichever is later
    bool loops = false;
    uint64_t instances = 1;
};

SongFacts ReadFacts(const std::vector<uint8_t>& file, int32_t rate) {
    MidiSong song;
    SongFacts facts;
    if (!ReadSong(file.data(), static_cast<uint32_t>(file.size()), rate, song))
        Broken("the plug-in opened a song the reader rejects");
    facts.length = static_cast<uint64_t>(song.lengthSamples);
    facts.end = facts.length;
    for (const SongEvent& e : song.events) {
        if (e.time > 0 && static_cast<uint64_t>(e.time) > facts.end) facts.end = static_cast<uint64_t>(e.time);
        if (IsChannelMessage(e.message) && (e.message & 0xF0) == 0xB0 && ((e.message >> 8) & 0xFF) == 111)
            facts.loops = true;
    }
    facts.instances = static_cast<uint64_t>(song.portCount < 8 ? song.portCount : 8);
    return facts;
}

class Player {
public:
    Player(IHmxDecoderModule* module, const HmxMediaInfo* request, test::MemoryFile* file,
           const std::vector<uint8_t>& bytes, test::MemoryStore* store)
        : module_(module), request_(request), file_(file), store_(store) {
        // The instrument always loads: only a file the reader rejects fails to open.
        MidiSong song;
        const bool readable = ReadSong(bytes.data(), static_cast<uint32_t>(bytes.size()), 44100, song);
        if (!module->Open(request, file, nullptr, &decoder_)) {
            Check(decoder_ == nullptr, "a failed Open left a decoder behind");
            Check(!readable, "a song the reader takes failed to open");
            return;
        }
        Check(decoder_ != nullptr, "Open gave 1 and no decoder");
        CheckMediaInfo(bytes);
    }
    ~Player() {
        if (decoder_) Check(decoder_->Release() == 0, "the host's one reference on a decoder was not the last");
    }
    bool Opened() const { return decoder_ != nullptr; }

    void Run(const Action& action) {
        switch (action.operation % OperationCount) {
            case RenderBlocks: RenderSome(1 + action.a % 32, true); break;
            case SeekTo: SeekSomewhere(action.a, action.b); break;
            case ChangeSetting: ChangeOne(action.a, action.b); break;
            case SelectSong: SelectOne(action.a % 4, action.b & 1); break;
            case RenderToEnd: RenderUntilEnd(); break;
            case SecondDecoder: PlayAnother(1 + action.a % 4); break;
            case RenderNoBuffer: RenderSome(1 + action.a % 8, false); break;
        }
    }

private:
    void CheckMediaInfo(const std::vector<uint8_t>& bytes) {
        HmxMediaInfo* info = nullptr;
        Check(decoder_->Select(1, &info, 0, 0) == 1 && info, "Select(1) gave no media information");
        info_ = *info;
        const uint32_t rate = info_.sampleRate;
        // A sane request is honoured; otherwise the settings' rate, one the page offers.
        const uint32_t requested = request_ ? request_->sampleRate : 0;
        const bool asked = requested >= 8000 && requested <= 768000 && rate == requested;
        Check(asked || rate == 44100 || rate == 48000 || rate == 88200 || rate == 96000 || rate == 176400 ||
                  rate == 192000,
              "the song plays at a rate neither requested nor offered by the settings");
        Check(info_.format == -32 || info_.format == -64, "the sample format is neither float nor double");
        Check(info_.channels == 2 && info_.songCount == 1, "not one stereo song");
        Check(info_.blockFrames > 0 && info_.blockFrames <= 65536, "the block size is out of bounds");
        block_ = info_.blockFrames;
        facts_ = ReadFacts(bytes, static_cast<int32_t>(rate));
        // The length in 100 ns units, the remainder dropped, as the host is told.
        const unsigned __int128 exact = static_cast<unsigned __int128>(facts_.length) * 10000000u / rate;
        const uint64_t expected = exact > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(exact);
        Check(info_.length == expected, "the media information's length is not the song's length");
        Check(info_.loop == (facts_.loops ? ~uint64_t{0} : 0), "the loop flag does not match the loop marker");
        endBound_ = facts_.end + kTailSeconds * rate + block_;
        resetBlocks_ = kResetBatches + (1000ull * rate + block_ / 2) / block_ / 1000;
    }

    bool Afford(uint64_t blocks) {
        const uint64_t cost = blocks * facts_.instances;
        if (cost > budget_) return false;
        budget_ -= cost;
        return true;
    }

    // One Render into a buffer of exactly one block (or none); gives frames.
    uint32_t RenderOne(bool withBuffer) {
        std::vector<float> floats(withBuffer && info_.format == -32 ? 2 * size_t(block_) : 0);
        std::vector<double> doubles(withBuffer && info_.format == -64 ? 2 * size_t(block_) : 0);
        void* buffer = floats.empty() ? static_cast<void*>(doubles.data()) : floats.data();
        if (!withBuffer) buffer = nullptr;
        const uint32_t frames = decoder_->Render(buffer, 0);
        Check(frames <= block_, "Render gave more than a block");
        if (ended_) Check(frames == 0, "Render gave frames after the song had ended, without a seek");
        ended_ = frames == 0;
        for (size_t k = 0; withBuffer && k < 2 * size_t(frames); ++k)
            Check(std::isfinite(floats.empty() ? doubles[k] : floats[k]), "a rendered sample is not finite");
        if (!facts_.loops) {
            Check(frames == 0 || position_ + frames <= endBound_, "a block was rendered past the song's end and tail");
            position_ += frames;
        }
        return frames;
    }

    void RenderSome(uint32_t blocks, bool withBuffer) {
        if (!Afford(blocks)) return;
        for (uint32_t i = 0; i < blocks; ++i) RenderOne(withBuffer);
    }

    void RenderUntilEnd() {
        if (facts_.loops) return;  // a looping song never ends
        const uint64_t left = endBound_ > position_ ? (endBound_ - position_) / block_ + 1 : 1;
        if (!Afford(left + 1)) return;
        for (uint64_t i = 0; i <= left; ++i)
            if (RenderOne(true) == 0) return;
        Broken("a song without a loop marker did not end");
    }

    uint64_t SeekTarget(uint8_t kind, uint8_t b) const {
        const uint64_t tailEnd = facts_.length + kTailSeconds * info_.sampleRate;
        switch (kind % SeekKindCount) {
            case SeekStart: return 0;
            case SeekInSong: return facts_.end / 255 * b;
            case SeekNearTail: {
                const int64_t shift = (int64_t(b) - 128) * int64_t(block_) / 8;
                return shift < 0 && uint64_t(-shift) > tailEnd ? 0 : tailEnd + uint64_t(shift);
            }
            case SeekNearby: {
                const int64_t shift = (int64_t(b) - 128) * 16;
                return shift < 0 && uint64_t(-shift) > position_ ? 0 : position_ + uint64_t(shift);
            }
            case SeekHuge: {
                const uint64_t huge[] = {uint64_t(1) << 40, uint64_t(1) << 63, ~uint64_t{0}, ~uint64_t{0} - 5,
                                         (uint64_t(1) << 63) - 1};
                return huge[b % 5];
            }
            default: return uint64_t(b / 2) * block_ - (b & 1 && b > 1 ? 1 : 0);
        }
    }

    void SeekSomewhere(uint8_t kind, uint8_t b) {
        uint64_t target = SeekTarget(kind, b);
        uint64_t blockTarget = target - target % block_;
        // A looping song wraps before passing its last event: a target beyond
        // can never be reached and the seek would spin for its whole time limit.
        if (facts_.loops && blockTarget > facts_.end) return;
        // Upper bound of the cost: the reset, then a play-through from the
        // start to the target, or only to the end for a song that ends.
        const uint64_t reachable = facts_.loops ? blockTarget : std::min(blockTarget, endBound_);
        const uint64_t affordable = budget_ / facts_.instances;
        if (affordable < resetBlocks_ + 1) return;
        if (reachable / block_ + 1 > affordable - resetBlocks_) {
            blockTarget = (affordable - resetBlocks_ - 1) * block_;
            target = blockTarget;
        }
        Afford(resetBlocks_ + std::min(blockTarget, reachable) / block_ + 1);

        const uint64_t reached = decoder_->Seek(target, 0);
        Check(reached < blockTarget || reached - blockTarget < block_, "Seek went past the target's block");
        const bool ending = !facts_.loops && reached == blockTarget;
        Check(reached <= endBound_ || ending, "Seek went past the song's end and tail");
        ended_ = false;
        position_ = reached;
    }

    void ChangeOne(uint8_t which, uint8_t b) {
        static constexpr const char16_t* kFlagTexts[] = {u"0", u"1", u"4294967296"};
        switch (which % 5) {
            case 0: PutIfGiven(*store_, u"Volume_x86", Pick(kVolumeTexts, b)); break;
            case 1: PutIfGiven(*store_, u"Reset_x86", Pick(kResetTexts, b)); break;
            case 2: store_->Put(u"Cache_x86", Pick(kFlagTexts, b)); break;
            case 3: store_->Put(u"ShowEditor", Pick(kFlagTexts, b)); break;
            default: PutIfGiven(*store_, u"SampleRate_x86", Pick(kRateTexts, b)); break;
        }
        Check(decoder_->UpdateConfig(0) == 0, "UpdateConfig gave other than 0");
    }

    void SelectOne(uint32_t n, bool withoutOut) {
        HmxMediaInfo* info = reinterpret_cast<HmxMediaInfo*>(&info_);  // must be overwritten
        const uint32_t result = decoder_->Select(n, withoutOut ? nullptr : &info, 0, 0);
        Check(result == (n <= 1 ? n : 0), "Select gave the wrong song number");
        if (!withoutOut) Check((info != nullptr) == (n <= 1) && info != &info_, "Select's out pointer is wrong");
    }

    // Another decoder of the same song, opened, played a little and closed
    // while this one stays open: the instances pass through the cache.
    void PlayAnother(uint32_t blocks) {
        if (!Afford(blocks)) return;
        IHmxDecoder* other = nullptr;
        Check(module_->Open(request_, file_, nullptr, &other) == 1 && other, "the same song failed to open twice");
        std::vector<double> buffer(2 * size_t(block_));  // large enough for either width
        for (uint32_t i = 0; i < blocks; ++i)
            Check(other->Render(buffer.data(), 0) <= block_, "Render gave more than a block");
        Check(other->Release() == 0, "the host's one reference on a decoder was not the last");
    }

    IHmxDecoderModule* module_;
    const HmxMediaInfo* request_;
    test::MemoryFile* file_;
    test::MemoryStore* store_;
    IHmxDecoder* decoder_ = nullptr;
    HmxMediaInfo info_{};
    SongFacts facts_;
    uint32_t block_ = 1;
    uint64_t endBound_ = 0;
    uint64_t resetBlocks_ = 0;
    uint64_t budget_ = kBudget;
    uint64_t position_ = 0;  // tracked for songs without a loop marker only
    bool ended_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Nothing of a developer's environment may change the probe.
    for (const char* name : {"PROBE_LOG", "PROBE_REFUSE", "PROBE_FLAGS_ON_OPEN", "PROBE_FLAGS_ON_START",
                             "PROBE_OUTPUTS_ON_START", "PROBE_INPUTS_ON_START", "PROBE_SLEEP_MS", "PROBE_FAIL_OPEN",
                             "PROBE_CALLBACK_THREAD", "PROBE_ASK_IN_ENTRY", "PROBE_ASK_ON_OPEN",
                             "PROBE_ASK_IN_PROCESS"})
        unsetenv(name);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SongInput input;
    if (!ParseSongInput(data, size, &input) || input.fileSize > UINT32_MAX) return 0;
    const int threadsBefore = ThreadCount();
    const InstrumentChoice& instrument = Pick(kInstruments, input.settings[0]);
    ChooseInstrument(instrument);
    const std::string library = InstrumentPath(instrument.library);

    test::MemoryStore store;
    test::TestHost host(&store);
    store.Put(u"VSTiPath_x86", FromUtf8(library));
    PutIfGiven(store, u"SampleRate_x86", Pick(kRateTexts, input.settings[2]));
    PutIfGiven(store, u"Reset_x86", Pick(kResetTexts, input.settings[3]));
    PutIfGiven(store, u"Volume_x86", Pick(kVolumeTexts, input.settings[4]));
    store.Put(u"Cache_x86", input.settings[5] & 1 ? u"0" : u"1");
    store.Put(u"ShowEditor", input.settings[5] & 2 ? u"1" : u"0");

    HmxMediaInfo request{};
    request.size = sizeof request;
    request.sampleRate = Pick(kRequestedRates, input.settings[1]);
    const HmxMediaInfo* requestOrNone = request.sampleRate == kNoRequest ? nullptr : &request;

    // Exactly the file's bytes, so that any read past them is caught.
    const std::vector<uint8_t> bytes(input.file, input.file + input.fileSize);
    test::MemoryFile file(bytes);

    void* out = nullptr;
    Check(hmx_CreateInstance(&kIidHmxDecoderModule, &out, &host) == kHmxOk && out, "no module from the export");
    auto* module = static_cast<IHmxDecoderModule*>(out);
    {
        Player player(module, requestOrNone, &file, bytes, &store);
        if (player.Opened())
            for (const Action& action : input.actions) player.Run(action);
    }
    Check(module->Release() == 0, "the host's one reference on the module was not the last");

    Check(store.references() == 1, "a reference on the settings store was not given back");
    Check(ThreadsBackTo(threadsBefore), "a thread outlived the module");
    Check(!LibraryLoaded(library), "the instrument stayed loaded after the last module went");
    return 0;
}
