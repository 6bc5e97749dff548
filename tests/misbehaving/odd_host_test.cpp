// A host that asks for odd things, through the real plug-in: Render without
// a buffer, seeks past the end and to huge positions, settings changed
// between blocks, one decoder released while another of the same
// instrument plays on another thread, and modules made and released on
// several threads at once.
#include <atomic>
#include <chrono>
#include <thread>

#include "plugin_test.h"
#include "process_census.h"
#include "processor_time.h"

namespace tavren::test {
namespace {

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

using OddHost = PluginTest;

TEST_F(OddHost, RenderWithoutABufferPlaysOnWithoutOutput) {
    IHmxDecoder* d = Open(HeldNotesSong(2, 100000));
    ASSERT_NE(d, nullptr);
    for (int b = 0; b < 3; ++b) EXPECT_EQ(d->Render(nullptr, 0), kBlockFrames);
    Rendered block = RenderGuarded(d);
    EXPECT_EQ(block.frames, kBlockFrames);
    EXPECT_TRUE(block.guardIntact);
    EXPECT_NE(block.samples[0], 0.0);
    EXPECT_EQ(d->Seek(8 * kBlockFrames, 0), uint64_t(8 * kBlockFrames));
}

TEST_F(OddHost, SeeksPastTheEndAndToHugePositionsStayBoundedAndTheSongRestarts) {
    const uint32_t length = 44100;  // one second
    IHmxDecoder* d = Open(HeldNotesSong(1, length));
    ASSERT_NE(d, nullptr);
    for (uint64_t target : {uint64_t(length) + 10 * 44100, uint64_t(1) << 40, ~uint64_t{0}, ~uint64_t{0} - 5}) {
        SCOPED_TRACE(target);
        auto start = Clock::now();
        uint64_t reached = d->Seek(target, 0);
        EXPECT_LT(SecondsSince(start), 5.0) << "once the song has ended the rest of the way costs nothing";
        EXPECT_EQ(reached, target - target % kBlockFrames);
        Rendered block = RenderGuarded(d);
        EXPECT_TRUE(block.guardIntact);
        EXPECT_EQ(block.frames, 0u) << "past the end the song has ended";
        EXPECT_EQ(d->Seek(0, 0), 0u);
        block = RenderGuarded(d);
        EXPECT_EQ(block.frames, kBlockFrames);
        EXPECT_NE(block.samples[0], 0.0) << "restarted at its first note";
    }
}

// Counted from before the module is made to after its last release: every
// thread, handle, host process and shared mapping of the songs is gone.
TEST_F(OddHost, ReleasingTheLastModuleLeavesNoThreadHandleProcessOrSharedMemory) {
    module_->Release();
    module_ = nullptr;
    const Census before = TakeCensus();
    module_ = CreateModule();
    for (int song = 0; song < 2; ++song) {
        IHmxDecoder* d = Open(HeldNotesSong(3, 100000));
        ASSERT_NE(d, nullptr);
        for (int b = 0; b < 5; ++b) EXPECT_EQ(RenderGuarded(d).frames, kBlockFrames);
        Close(d);
    }
    module_->Release();
    module_ = nullptr;
    const Census after = TakeCensus();
    EXPECT_EQ(after.children, before.children) << "a host process";
    EXPECT_EQ(after.sharedMaps, before.sharedMaps) << "shared memory";
    EXPECT_EQ(after.handles, before.handles) << "a handle";
    if (before.threads >= 0) {
        EXPECT_EQ(after.threads, before.threads) << "a thread";
    }
}

// A paused player: the song is open and has played, then nothing asks for
// more. Neither the host thread nor a block rendered ahead may keep a core
// busy (a waiting thread that spins shows a whole core).
TEST_F(OddHost, APausedSongCostsNoProcessor) {
    IHmxDecoder* d = Open(HeldNotesSong(2, 4000000));
    ASSERT_NE(d, nullptr);
    for (int b = 0; b < 10; ++b) ASSERT_EQ(RenderGuarded(d).frames, kBlockFrames);
    const auto start = Clock::now();
    const double processor = ProcessorSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double share = (ProcessorSeconds() - processor) / SecondsSince(start);
    EXPECT_LT(share, 0.05) << "share of one core while paused";
    EXPECT_EQ(RenderGuarded(d).frames, kBlockFrames) << "and it plays on";
}

TEST_F(OddHost, SettingsChangedBetweenBlocksTakeEffectAtTheNextBlock) {
    IHmxDecoder* d = Open(HeldNotesSong(2, 200000));
    ASSERT_NE(d, nullptr);
    const double full = RenderGuarded(d).samples[0];
    ASSERT_NE(full, 0.0);
    store_.Put(u"Volume_x86", u"50");
    EXPECT_EQ(d->UpdateConfig(0), 0);
    EXPECT_EQ(RenderGuarded(d).samples[0], full * 0.5);
    store_.Put(u"Volume_x86", u"0");
    store_.Put(u"Cache_x86", u"0");
    store_.Put(u"Reset_x86", u"1");
    store_.Put(u"ShowEditor", u"1");
    store_.Put(u"SampleRate_x86", u"96000");  // not applied to an open song
    d->UpdateConfig(0);
    Rendered quiet = RenderGuarded(d);
    EXPECT_EQ(quiet.frames, kBlockFrames);
    EXPECT_EQ(quiet.samples[0], 0.0);
    EXPECT_EQ(Info(d).sampleRate, 44100u);
    store_.Put(u"Volume_x86", u"100");
    d->UpdateConfig(0);
    EXPECT_EQ(d->Seek(0, 0), 0u);
    EXPECT_EQ(RenderGuarded(d).samples[0], full);
}

TEST_F(OddHost, ADecoderReleasedWhileAnotherOfTheSameInstrumentPlaysOnAnotherThread) {
    // Long enough that the player, however fast, stays inside the held notes.
    const uint32_t length = 40000000;
    const int lastBlock = static_cast<int>(length / kBlockFrames) - 2;
    IHmxDecoder* playing = Open(HeldNotesSong(2, length));
    ASSERT_NE(playing, nullptr);
    const double steady = RenderGuarded(playing).samples[0];
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0}, blocks{0};
    std::thread player([&] {
        while (!stop.load() && blocks.load() < lastBlock) {
            Rendered block = RenderGuarded(playing);
            wrong += !block.guardIntact || block.frames != kBlockFrames || block.samples[0] != steady;
            ++blocks;
        }
    });
    for (int round = 0; round < 20; ++round) {
        store_.Put(u"Cache_x86", round % 3 ? u"1" : u"0");
        IHmxDecoder* other = Open(HeldNotesSong(1 + round % 3, 100000));
        ASSERT_NE(other, nullptr);
        RenderGuarded(other);
        if (round % 2) other->UpdateConfig(0);
        Close(other);
    }
    stop = true;
    player.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(blocks.load(), 0);
}

TEST_F(OddHost, ModulesMadeAndReleasedOnSeveralThreadsAtOnce) {
    module_->Release();  // no module lives while the threads start
    module_ = nullptr;
    const Bytes song = HeldNotesSong(1, 100000);
    std::atomic<int> failures{0};
    auto worker = [&](int id) {
        for (int round = 0; round < 40; ++round) {
            IHmxDecoderModule* module = CreateModule();
            if (!module) {
                ++failures;
                continue;
            }
            if ((round + id) % 4 != 0) {
                MemoryFile file(song);
                IHmxDecoder* decoder = nullptr;
                if (module->Open(nullptr, &file, nullptr, &decoder) && decoder) {
                    failures += decoder->Render(nullptr, 0) != kBlockFrames;
                    decoder->Release();
                } else {
                    ++failures;
                }
            }
            module->Release();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) threads.emplace_back(worker, i);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(store_.references(), 1);
}

}  // namespace
}  // namespace tavren::test
