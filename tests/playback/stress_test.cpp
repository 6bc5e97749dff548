// Several threads opening, playing and closing songs at once, with the cache
// on and off: an instance is never in two songs at a time, the cache never
// holds one twice, and the whole run ends within its time bound.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "decoder_fixture.h"
#include "frame/module.h"
#include "frame/module_state.h"
#include "platform/platform.h"
#include "time_scale.h"
#include "vsthost/host_thread.h"

namespace tavren::test {
namespace {

using StressTest = DecoderTest;

constexpr int kThreads = 4;
constexpr int kRounds = 40;

void RunStress(IHmxDecoderModule* module, MemoryStore& store, bool toggleCache) {
    std::vector<Bytes> songs;
    for (int ports = 1; ports <= 3; ++ports) {
        std::vector<Bytes> tracks;
        for (int p = 0; p < ports; ++p) tracks.push_back(TrackAt(p, {{0, NoteOn(p, 60)}, {3000, NoteOff(p, 60)}}, 3000));
        songs.push_back(Song(tracks));
    }
    std::mutex lock;
    std::set<const void*> inUse;
    std::atomic<int> twice{0}, failedOpens{0}, played{0};

    auto worker = [&](int id) {
        for (int round = 0; round < kRounds; ++round) {
            if (toggleCache && id == 0) store.Put(u"Cache_x86", round % 2 ? u"0" : u"1");
            MemoryFile file(songs[size_t(id + round) % songs.size()]);
            IHmxDecoder* decoder = nullptr;
            if (!module->Open(nullptr, &file, nullptr, &decoder) || !decoder) {
                ++failedOpens;
                continue;
            }
            auto* typed = static_cast<AxVstiDecoder*>(decoder);
            std::vector<const void*> mine;
            for (int k = 0; k < typed->Playback().instanceCount; ++k) mine.push_back(typed->Playback().instances[k]->effect);
            {
                std::lock_guard<std::mutex> guard(lock);
                for (const void* effect : mine) twice += !inUse.insert(effect).second;
            }
            std::vector<float> buffer(2 * kBlock);
            for (int b = 0; b < 3; ++b) played += decoder->Render(buffer.data(), 0) == uint32_t(kBlock);
            if (round % 3 == 0) decoder->UpdateConfig(0);
            {
                // Out of the set before the release can hand it to another song.
                std::lock_guard<std::mutex> guard(lock);
                for (const void* effect : mine) inUse.erase(effect);
            }
            decoder->Release();
        }
    };

    auto run = std::async(std::launch::async, [&] {
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) threads.emplace_back(worker, i);
        for (std::thread& t : threads) t.join();
    });
    const double limit = 120 * TimeScale();
    if (run.wait_for(std::chrono::duration<double>(limit)) != std::future_status::ready) {
        std::fprintf(stderr, "stress run still busy after %.0f s: deadlock\n", limit);
        std::abort();  // a deadlocked thread cannot be joined
    }
    EXPECT_EQ(twice.load(), 0) << "an instance was handed to two songs at once";
    EXPECT_EQ(failedOpens.load(), 0);
    EXPECT_EQ(played.load(), kThreads * kRounds * 3);

    platform::LockGuard guard(HostLock);
    ASSERT_NE(CurrentHost, nullptr);
    std::set<VstiInstance*> slots;
    for (VstiInstance* slot : CurrentHost->cacheSlots) {
        if (!slot) continue;
        EXPECT_TRUE(slots.insert(slot).second) << "the cache holds an instance twice";
    }
}

TEST_F(StressTest, ConcurrentSongsWithTheCacheOn) {
    store_.Put(u"Cache_x86", u"1");
    RunStress(module_, store_, false);
}

TEST_F(StressTest, ConcurrentSongsWithTheCacheOff) {
    store_.Put(u"Cache_x86", u"0");
    RunStress(module_, store_, false);
}

TEST_F(StressTest, ConcurrentSongsWhileTheCacheIsTurnedOnAndOff) { RunStress(module_, store_, true); }

}  // namespace
}  // namespace tavren::test

namespace tavren::test {
namespace {

// Modules created and released from several threads at once, no module
// living before or after: the module-wide lock must exist for every user
// however creations and last releases interleave, and the last release
// must leave no instrument host behind.
TEST(ModuleLifetimeStress, ModulesComeAndGoOnSeveralThreadsAtOnce) {
    ASSERT_EQ(ModuleCount.load(), 0);
    ClearProbeVariables();
    MemoryStore store;
    store.Put(u"VSTiPath_x86", LibraryPath("probe"));
    TestHost host(&store);
    const Bytes song = Song({TrackAt(0, {{0, NoteOn(0, 60)}, {3000, NoteOff(0, 60)}}, 3000)});
    std::atomic<int> failures{0};

    auto worker = [&](int id) {
        for (int round = 0; round < 150; ++round) {
            void* out = nullptr;
            if (CreateModuleInstance(&kIidHmxDecoderModule, &out, &host) != kHmxOk || !out) {
                ++failures;
                continue;
            }
            auto* module = static_cast<IHmxDecoderModule*>(out);
            if ((round + id) % 4 != 0) {
                MemoryFile file(song);
                IHmxDecoder* decoder = nullptr;
                if (module->Open(nullptr, &file, nullptr, &decoder) && decoder) {
                    std::vector<float> buffer(2 * kBlock);
                    if (decoder->Render(buffer.data(), 0) != uint32_t(kBlock)) ++failures;
                    decoder->Release();
                } else {
                    ++failures;
                }
            }
            module->Release();
        }
    };
    auto run = std::async(std::launch::async, [&] {
        std::vector<std::thread> threads;
        // Two threads: the count of modules often falls to zero while the
        // other thread is creating one.
        for (int i = 0; i < 2; ++i) threads.emplace_back(worker, i);
        for (std::thread& t : threads) t.join();
    });
    if (run.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
        std::fprintf(stderr, "module stress still busy after 120 s: deadlock\n");
        std::abort();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ModuleCount.load(), 0);
    EXPECT_EQ(CurrentHost, nullptr) << "the last release stops the instrument host";
    EXPECT_EQ(store.references(), 1);
}

}  // namespace
}  // namespace tavren::test
