// Windows build only: an instrument that crashes on its host thread, through
// the real plug-in file. Natively a crash is a signal that ends the test
// program; in-process it is caught only as a structured exception.
//
// Each case plays a copy of the probe under a name of its own: a library
// that faulted stays loaded for the rest of the process.
#include <windows.h>

#include <string>

#include "arch_text.h"
#include "fault_codes.h"
#include "message_box_watcher.h"
#include "platform/text.h"
#include "plugin_test.h"

namespace tavren::test {
namespace {

const std::u16string kLoadFailureStart = u"VSTi プラグインのロードに失敗しました。";
const std::u16string kCrashed = u"VSTi プラグインがクラッシュしました。(コード 0x";

bool Contains(const std::u16string& text, const std::u16string& part) { return text.find(part) != std::u16string::npos; }

// The fault's code as the box writes it: exact where the processor raised it.
void ExpectAccessViolationNamed(const std::u16string& text) {
    EXPECT_TRUE(Contains(text, kCrashed)) << ToUtf8(text);
    if (FaultCodesExact()) {
        EXPECT_TRUE(Contains(text, kCrashed + u"C0000005)")) << ToUtf8(text);
    }
}

class InstrumentFault : public PluginTest {
protected:
    void SetUp() override {
        // In-process faults only: the host process's own are another suite's.
        if (SuiteBridged()) GTEST_SKIP() << "runs in the plain registration";
        PluginTest::SetUp();
    }
};

TEST_F(InstrumentFault, ACrashAtEachPointEndsTheSongWithOneBoxAndTheLibraryIsNotCalledAgain) {
    struct Case {
        const char* point;
        int after;         // PROBE_FAIL_AFTER
        bool opens;        // the song opens (then ends at the fault) or not
        int fullBlocks;    // blocks played before the fault
        bool editor;       // shown, with an instrument that has one
    };
    const Case cases[] = {
        {"entry", 0, false, 0, false},   {"entry", 1, false, 0, false},  // the second instance's
        {"open", 0, false, 0, false},    {"events", 0, true, 0, false},
        {"process", 0, true, 0, false},  {"process", 5, true, 2, false},  // two instances: two calls a block
        {"editopen", 0, true, 0, true},
    };
    const std::u16string caption = ForThisBuild(u"tavren_x86.hmx");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.point) + " after " + std::to_string(c.after));
        ClearProbeVariables();
        ProbeLog log;
        MessageBoxWatcher boxes;
        const uint32_t threads = ThreadCount();
        const std::u16string library = CopyProbeAs("tavren_faults\\" + std::string(c.point) + "_" +
                                                   std::to_string(c.after) + "_" +
                                                   std::to_string(GetCurrentProcessId()) + ".dll");
        store_.Put(u"VSTiPath_x86", library);
        store_.Put(u"ShowEditor", c.editor ? u"1" : u"0");
        SetEnv("PROBE_FLAGS", c.editor ? "0x111" : "0x110");
        SetEnv("PROBE_FAIL_AT", c.point);
        SetEnv("PROBE_FAIL_HOW", "crash");
        SetEnv("PROBE_FAIL_AFTER", std::to_string(c.after));

        IHmxDecoder* d = Open(HeldNotesSong(2, 441000));
        EXPECT_EQ(d != nullptr, c.opens);
        if (d) {
            for (int b = 0; b < c.fullBlocks; ++b) EXPECT_EQ(RenderGuarded(d).frames, kBlockFrames) << b;
            for (int b = 0; b < 3; ++b) {
                Rendered block = RenderGuarded(d);
                EXPECT_EQ(block.frames, 0u) << "the song ended at the fault";
                EXPECT_TRUE(block.guardIntact);
            }
            const uint64_t position = uint64_t(c.fullBlocks) * kBlockFrames;
            EXPECT_EQ(d->Seek(0, 0), position) << "an ended song stays where it is";
            EXPECT_EQ(d->Seek(position + 10 * kBlockFrames, 0), position);
            Close(d);
        }
        EXPECT_EQ(log.Matching({"fail at=", c.point}).size(), 1u);
        // The library is not called again: the next song does not open.
        const size_t lines = log.Lines().size();
        EXPECT_EQ(Open(HeldNotesSong(1, 44100)), nullptr);
        module_->Release();  // returns once every box has been closed
        module_ = nullptr;
        EXPECT_EQ(log.Lines().size(), lines) << "nothing of it was called, not even effClose";
        EXPECT_LE(ThreadCount(), threads) << "a thread outlived the module";
        EXPECT_TRUE(IsLoaded(library)) << "a library that faulted is never unloaded";

        // One box for the fault, one for the song that could not open.
        const std::vector<MessageBoxSeen> seen = boxes.Boxes();
        ASSERT_EQ(seen.size(), 2u);
        const bool crashFirst = Contains(seen[0].text, kCrashed);
        const MessageBoxSeen& fault = seen[crashFirst ? 0 : 1];
        const MessageBoxSeen& later = seen[crashFirst ? 1 : 0];
        EXPECT_EQ(fault.caption, caption);
        ExpectAccessViolationNamed(fault.text);
        EXPECT_TRUE(Contains(fault.text, u"VSTiPath=" + library)) << ToUtf8(fault.text);
        // A song that did not open says so with the load-failure box; one
        // that played says that it was stopped.
        EXPECT_EQ(fault.text.rfind(kLoadFailureStart, 0) == 0, !c.opens) << ToUtf8(fault.text);
        EXPECT_EQ(Contains(fault.text, u"演奏を停止しました。"), c.opens) << ToUtf8(fault.text);
        EXPECT_EQ(later.text.rfind(kLoadFailureStart, 0), 0u) << ToUtf8(later.text);
        EXPECT_FALSE(Contains(later.text, kCrashed)) << "the fault was told once";
        module_ = CreateModule();
        ASSERT_NE(module_, nullptr);
    }
}

TEST_F(InstrumentFault, AnInstrumentThatCatchesItsOwnFaultPlaysOn) {
    ProbeLog log;
    MessageBoxWatcher boxes;
    SetEnv("PROBE_FAIL_AT", "process");
    SetEnv("PROBE_FAIL_HOW", "caught");
    SetEnv("PROBE_FAIL_AFTER", "3");
    IHmxDecoder* d = Open(HeldNotesSong(1, 441000));
    ASSERT_NE(d, nullptr);
    for (int b = 0; b < 10; ++b) {
        Rendered block = RenderGuarded(d);
        ASSERT_EQ(block.frames, kBlockFrames) << b;
        EXPECT_NE(block.samples[0], 0.0);
        EXPECT_EQ(block.samples[2 * kBlockFrames - 2], block.samples[0]);
    }
    Close(d);
    EXPECT_EQ(log.Matching({"fail at=process how=caught"}).size(), 1u) << "the fault happened";
    d = Open(HeldNotesSong(1, 441000));
    ASSERT_NE(d, nullptr) << "and the library is still there for the next song";
    EXPECT_EQ(RenderGuarded(d).frames, kBlockFrames);
    Close(d);
    module_->Release();  // returns once every box has been closed
    module_ = nullptr;
    EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
}  // namespace tavren::test
