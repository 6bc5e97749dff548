// An instrument that fails inside its host process, through the real plug-in
// file: it crashes, exits, aborts or hangs at its entry point, effOpen,
// effProcessEvents, the process call or effEditOpen. Whatever it does, the
// player's process lives on: a song that played ends (Render gives 0) with
// one box, a song that could not open says why in the load-failure box, the
// host process is gone, and the next song plays in a fresh one.
#include <chrono>
#include <string>

#include "arch_text.h"
#include "fault_codes.h"
#include "box_capture.h"
#include "platform/text.h"
#include "plugin_test.h"
#include "process_census.h"
#include "time_scale.h"

namespace tavren::test {
namespace {

const std::u16string kLoadFailureStart = u"VSTi プラグインのロードに失敗しました。";
const std::u16string kCrashed = u"VSTi プラグインがクラッシュしました。(コード 0x";
const std::u16string kStoppedResponding = u"VSTi プラグインが応答しなくなりました。";
const std::u16string kSongStopped = u"演奏を停止しました。";

bool Contains(const std::u16string& text, const std::u16string& part) { return text.find(part) != std::u16string::npos; }

// The code the box names for each way of failing, where it is certain: a
// sanitizer build's crash handler exits with a code of its own natively,
// and the 32-bit emulator relabels processor faults.
std::u16string ExpectedCode(const std::string& how) {
    if (how == "exit") return u"00000003)";
#ifdef _WIN32
    if (how == "abort") return u"00000003)";  // the C runtime's abort exits with 3
    if (how == "crash" && FaultCodesExact()) return u"C0000005)";
#endif
    return u"";
}

struct Case {
    const char* point;
    const char* how;
    bool opens;   // the song opens (then ends at the failure) or not
    bool editor;  // the editor is shown (the probe then has one)
};

class HostProcessFailure : public PluginTest {
protected:
    void SetUp() override {
        // It chooses the host process itself: once is enough.
        if (SuiteBridged()) GTEST_SKIP() << "runs in the plain registration";
        PluginTest::SetUp();
        store_.Put(u"VSTiBridge_x86", u"2");
    }

    void Play(const Case& c);
};

void HostProcessFailure::Play(const Case& c) {
    SCOPED_TRACE(std::string(c.point) + " " + c.how);
    ClearProbeVariables();
    ProbeLog log;
    BoxCapture boxes;
    const Census before = TakeCensus();
    store_.Put(u"ShowEditor", c.editor ? u"1" : u"0");
    SetEnv("PROBE_FLAGS", c.editor ? "0x111" : "0x110");
    SetEnv("PROBE_FAIL_AT", c.point);
    SetEnv("PROBE_FAIL_HOW", c.how);

    const auto start = std::chrono::steady_clock::now();
    IHmxDecoder* d = Open(HeldNotesSong(2, 441000));
    EXPECT_EQ(d != nullptr, c.opens);
    if (d) {
        EXPECT_EQ(RenderGuarded(d).frames, 0u) << "the song ended at the failure";
        Rendered later = RenderGuarded(d);
        EXPECT_EQ(later.frames, 0u);
        EXPECT_TRUE(later.guardIntact);
        EXPECT_EQ(d->Seek(10 * kBlockFrames, 0), 0u) << "an ended song stays where it is";
        Close(d);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 15.0 * TimeScale()) << "past the answer bound";
    EXPECT_EQ(log.Matching({"fail at=", c.point}).size(), 1u);

    // A fresh host process: the instrument no longer fails.
    ClearEnv("PROBE_FAIL_AT");
    d = Open(HeldNotesSong(1, 44100));
    ASSERT_NE(d, nullptr) << "the plug-in stays usable";
    EXPECT_EQ(RenderGuarded(d).frames, kBlockFrames);
    Close(d);

    module_->Release();  // returns once every box has been closed
    module_ = CreateModule();
    ASSERT_NE(module_, nullptr);
    const Census after = TakeCensus();
    EXPECT_EQ(after.children, before.children) << "a host process was left behind";
    EXPECT_EQ(after.sharedMaps, before.sharedMaps) << "shared memory was left behind";

    const std::vector<MessageBoxSeen> seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u) << "one failure, one box";
    const std::u16string& text = seen[0].text;
    EXPECT_EQ(seen[0].caption, ForThisBuild(u"tavren_x86.hmx"));
    EXPECT_TRUE(Contains(text, u"VSTiPath=" + LibraryPath("probe"))) << ToUtf8(text);
    EXPECT_EQ(text.rfind(kLoadFailureStart, 0) == 0, !c.opens) << ToUtf8(text);
    EXPECT_EQ(Contains(text, kSongStopped), c.opens) << ToUtf8(text);
    if (std::string(c.how) == "hang") {
        EXPECT_TRUE(Contains(text, kStoppedResponding)) << ToUtf8(text);
    } else {
        EXPECT_TRUE(Contains(text, kCrashed + ExpectedCode(c.how))) << ToUtf8(text);
    }
}

TEST_F(HostProcessFailure, ACrashExitOrAbortAtEachPoint) {
    std::vector<Case> cases = {
        {"entry", "crash", false, false},   {"entry", "exit", false, false},   {"open", "crash", false, false},
        {"open", "abort", false, false},    {"events", "crash", true, false},  {"events", "exit", true, false},
        {"process", "crash", true, false},  {"process", "abort", true, false}, {"process", "exit", true, false},
    };
#ifdef _WIN32
    cases.push_back({"editopen", "crash", true, true});  // natively there are no editor windows
#endif
    for (const Case& c : cases) {
        Play(c);
        if (HasFatalFailure()) return;
    }
}

// Each costs the whole answer bound (ten times as long where 32-bit code is emulated).
TEST_F(HostProcessFailure, AHangWhilePlayingEndsTheSongWithinTheBound) { Play({"process", "hang", true, false}); }

TEST_F(HostProcessFailure, AHangWhileOpeningFailsTheOpenWithinTheBound) {
    if (TimeScale() > 1.0) GTEST_SKIP() << "the same bound as a hang while playing, ten times over";
    Play({"open", "hang", false, false});
}

}  // namespace
}  // namespace tavren::test
