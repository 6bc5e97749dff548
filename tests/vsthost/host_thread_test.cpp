// The host thread: loading, entry points, failed starts, where calls run, stopping.
#include <atomic>
#include <thread>

#include "frame/instance_cache.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "probe_fixture.h"
#include "probe_protocol.h"

namespace tavren::test {
namespace {

class HostThreadTest : public ProbeTest {
protected:
    void TearDown() override {
        if (host_) StopHost(host_);
        ProbeTest::TearDown();
    }
    VstiHost* host_ = nullptr;
};

TEST_F(HostThreadTest, LoadsTheLibraryOnItsOwnThreadAndPrefersVSTPluginMain) {
    ProbeLog log;
    host_ = StartHost(probePath_.c_str());
    ASSERT_NE(host_, nullptr);
    EXPECT_NE(host_->library, nullptr);
    EXPECT_NE(host_->entryPoint, nullptr);
    EXPECT_NE(host_->threadId, platform::CurrentThreadId());
    EXPECT_FALSE(OnHostThread(host_));
    EXPECT_EQ(host_->readyEvent, nullptr);  // closed once the start succeeded
    EXPECT_TRUE(TextEquals(host_->path, probePath_.c_str()));

    vst2::AEffect* effect = OpenEffectOnHost(host_);
    ASSERT_NE(effect, nullptr);
    CloseEffectOnHost(host_, effect);
    const uint32_t hostThread = host_->threadId;
    StopHost(host_);
    host_ = nullptr;
    EXPECT_FALSE(IsLoaded(probePath_));

    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u);  // entry, effOpen, effClose, unload
    EXPECT_NE(lines[0].find("entry name=VSTPluginMain serial="), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" op=0 "), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(" op=1 "), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("unload"), std::string::npos) << lines[3];
    for (const std::string& line : lines) EXPECT_EQ(LineThread(line), hostThread) << line;
}

TEST_F(HostThreadTest, FallsBackToMain) {
    ProbeLog log;
    std::u16string path = LibraryPath("probe_main_only");
    host_ = StartHost(path.c_str());
    ASSERT_NE(host_, nullptr);
    vst2::AEffect* effect = OpenEffectOnHost(host_);
    ASSERT_NE(effect, nullptr);
    CloseEffectOnHost(host_, effect);
    EXPECT_EQ(log.Matching({"entry name=main serial="}).size(), 1u);
}

// A missing file, a file that is no library, a library without either entry point.
class FailedStartTest : public ProbeTest, public ::testing::WithParamInterface<int> {};

TEST_P(FailedStartTest, LeavesNoHostThreadOrLibraryBehind) {
    std::u16string path = GetParam() == 0   ? FromUtf8(::testing::TempDir() + "tavren_missing_library.dll")
                          : GetParam() == 1 ? TextFilePath()
                                            : LibraryPath("notaplugin");
    // A first attempt warms up whatever the system loader keeps for itself.
    EXPECT_EQ(StartHost(path.c_str()), nullptr);
    const uint32_t threadsBefore = ThreadCount(), handlesBefore = HandleCount();
    for (int attempt = 0; attempt < 3; ++attempt) EXPECT_EQ(StartHost(path.c_str()), nullptr);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_EQ(HandleCount(), handlesBefore);
    EXPECT_FALSE(IsLoaded(path));
}

INSTANTIATE_TEST_SUITE_P(Paths, FailedStartTest, ::testing::Values(0, 1, 2));

TEST_F(HostThreadTest, EntryPointReturningNullGivesNoEffectAndNoClose) {
    ProbeLog log;
    SetEnv("PROBE_REFUSE", "1");
    host_ = StartHost(probePath_.c_str());
    ASSERT_NE(host_, nullptr);
    EXPECT_EQ(OpenEffectOnHost(host_), nullptr);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("refused"), std::string::npos);
}

TEST_F(HostThreadTest, CallsFromSeveralThreadsAllRunOnTheHostThread) {
    ProbeLog log;
    host_ = StartHost(probePath_.c_str());
    ASSERT_NE(host_, nullptr);
    vst2::AEffect* effect = OpenEffectOnHost(host_);
    ASSERT_NE(effect, nullptr);
    VstiInstance* instance = WrapEffect(host_, effect);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));

    constexpr int kThreads = 4, kCalls = 150;
    std::atomic<int> wrongResults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                intptr_t value = t * 100000 + i;
                if (Dispatch(instance, probe::kOpcodeEcho, value, nullptr, 0.0f) != value + 1) ++wrongResults;
                if (i % 10 == 0) ProcessOnHost(instance, 32);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrongResults.load(), 0);

    const uint32_t hostThread = host_->threadId;
    DestroyInstance(instance);
    std::vector<std::string> lines = log.Lines();
    const std::string echo = " op=" + std::to_string(probe::kOpcodeEcho) + " ";
    EXPECT_EQ(log.Matching({echo.c_str()}).size(), size_t{kThreads * kCalls});
    EXPECT_EQ(log.Matching({"process ", "frames=32 precision=float"}).size(), size_t{kThreads * kCalls / 10});
    for (const std::string& line : lines) ASSERT_EQ(LineThread(line), hostThread) << line;
}

struct InsideCall {
    VstiInstance* instance;
    intptr_t echo = 0;
    uint32_t thread = 0;
};

TEST_F(HostThreadTest, RequestsMadeOnTheHostThreadRunAtOnce) {
    ProbeLog log;
    host_ = StartHost(probePath_.c_str());
    ASSERT_NE(host_, nullptr);
    vst2::AEffect* effect = OpenEffectOnHost(host_);
    ASSERT_NE(effect, nullptr);
    VstiInstance* instance = WrapEffect(host_, effect);
    ASSERT_TRUE(PrepareBuffers(instance, 44100));

    InsideCall inside{instance};
    probe::ProbeCall call{[](void* arg) {
                              auto* in = static_cast<InsideCall*>(arg);
                              in->thread = platform::CurrentThreadId();
#if defined(_WIN32)
                              // Without the window a message would go nowhere and give 0:
                              // only a direct call can still answer.
                              void* window = in->instance->host->window;
                              in->instance->host->window = nullptr;
#endif
                              // Natively a queued request would wait for this very thread for ever.
                              in->echo = Dispatch(in->instance, probe::kOpcodeEcho, 41, nullptr, 0.0f);
#if defined(_WIN32)
                              in->instance->host->window = window;
#endif
                              // Always a request, which on this thread must not wait for itself.
                              ProcessOnHost(in->instance, 8);
                          },
                          &inside};
    EXPECT_EQ(Dispatch(instance, probe::kOpcodeCall, 0, &call, 0.0f), 1);
    EXPECT_EQ(inside.thread, host_->threadId);
    EXPECT_EQ(inside.echo, 42);
    std::vector<std::string> process = log.Matching({"process ", "frames=8 "});
    ASSERT_EQ(process.size(), 1u);
    EXPECT_EQ(LineThread(process[0]), host_->threadId);
    DestroyInstance(instance);
}

TEST_F(HostThreadTest, StopHostClosesCachedEffectsThenUnloads) {
    ProbeLog log;
    host_ = StartHost(probePath_.c_str());
    ASSERT_NE(host_, nullptr);
    for (int slot : {0, 2}) {
        vst2::AEffect* effect = OpenEffectOnHost(host_);
        ASSERT_NE(effect, nullptr);
        host_->cacheSlots[slot] = WrapEffect(host_, effect);
    }
    const uint32_t hostThread = host_->threadId;
    StopHost(host_);
    host_ = nullptr;
    EXPECT_FALSE(IsLoaded(probePath_));

    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 7u);  // 2 x (entry, effOpen), 2 x effClose, unload
    EXPECT_NE(lines[4].find("dispatch serial=0 op=1 "), std::string::npos) << lines[4];
    EXPECT_NE(lines[5].find("dispatch serial=1 op=1 "), std::string::npos) << lines[5];
    EXPECT_NE(lines[6].find("unload"), std::string::npos) << lines[6];
    for (const std::string& line : lines) EXPECT_EQ(LineThread(line), hostThread) << line;
}

}  // namespace
}  // namespace tavren::test
