// An instrument built for the other architecture (a 32-bit DLL given to the
// 64-bit plug-in, or the reverse) cannot be loaded in the player's process:
// with the bridge setting at 0 the open shows the load-failure message,
// which names this build's file, says which kind of instrument it cannot
// use and which setting would play it, and fails cleanly, so that the next
// song with a usable instrument opens. At 1 it plays in a host process of
// its own architecture (the other tree's host program, copied beside this
// tree's programs by scripts/test.sh).
//
// The other Windows tree's probe is named by TAVREN_OTHER_ARCH_PROBE, which
// the build sets to the sibling preset tree. Run by hand without that tree,
// the test skips and says why; scripts/test.sh builds both trees and sets
// TAVREN_REQUIRE_OTHER_ARCH, which makes a missing probe a failure.
#include <cstdlib>
#include <fstream>

#include "arch_text.h"
#include "decoder_fixture.h"
#include "frame/module_state.h"
#include "message_box_watcher.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "probe_protocol.h"
#include "vsthost/host_thread.h"

namespace tavren::test {
namespace {

using OtherArchTest = DecoderTest;

Bytes OneNote() { return Song({TrackAt(0, {{0, NoteOn(0, 60)}, {500, NoteOff(0, 60)}}, 500)}); }

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The other tree's probe, or why the test cannot run.
std::string OtherProbe(std::string* why) {
    const std::string probe = Set("TAVREN_OTHER_ARCH_PROBE") ? std::getenv("TAVREN_OTHER_ARCH_PROBE") : "";
    if (probe.empty() || !std::ifstream(probe, std::ios::binary)) {
        *why = "no probe instrument of the other architecture at \"" + probe +
               "\" (TAVREN_OTHER_ARCH_PROBE): build the other Windows tree first";
        return "";
    }
    return probe;
}

#define OTHER_PROBE_OR_SKIP(probe)                                  \
    std::string why;                                                \
    const std::string probe = OtherProbe(&why);                     \
    if (probe.empty()) {                                            \
        if (Set("TAVREN_REQUIRE_OTHER_ARCH")) FAIL() << why;        \
        GTEST_SKIP() << why;                                        \
    }

TEST_F(OtherArchTest, InstrumentOfTheOtherArchitectureShowsTheLoadFailure) {
    OTHER_PROBE_OR_SKIP(probe);
    const std::u16string path = FromUtf8(probe);
    // Written out for each build rather than derived, so that neither can
    // borrow the other's words.
    const std::u16string sentence =
        kBuild64 ? u"\r\n動作中の tavren_x64.hmx は x64 版 です。x86 版の VSTi プラグインは使用出来ません。\r\n"
                 : u"\r\n動作中の tavren_x86.hmx は x86 版 です。x64 版の VSTi プラグインは使用出来ません。\r\n";
    const std::u16string menu = kBuild64 ? u"Decoder->tavren_x64.hmx->General" : u"Decoder->tavren_x86.hmx->General";

    MessageBoxWatcher watcher;
    store_.Put(u"VSTiPath_x86", path);
    EXPECT_EQ(Open(OneNote()), nullptr);
    ASSERT_TRUE(watcher.WaitForCount(1, 10000));
    std::vector<MessageBoxSeen> boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kBuild64 ? u"tavren_x64.hmx" : u"tavren_x86.hmx");
    EXPECT_NE(boxes[0].text.find(sentence), std::u16string::npos) << ToUtf8(boxes[0].text);
    EXPECT_NE(boxes[0].text.find(menu), std::u16string::npos) << ToUtf8(boxes[0].text);
    const std::u16string setting =
        kBuild64 ? u"「VSTi を別プロセスで動作」(VSTiBridge_x64) を 1 か 2 にすると、この VSTi プラグインを別のプロセスで使用出来ます。"
                 : u"「VSTi を別プロセスで動作」(VSTiBridge_x86) を 1 か 2 にすると、この VSTi プラグインを別のプロセスで使用出来ます。";
    EXPECT_NE(boxes[0].text.find(u"使用出来ません。\r\n" + setting + u"\r\n\r\nVSTiPath="), std::u16string::npos)
        << ToUtf8(boxes[0].text);
    const std::u16string tail = u"\r\n\r\nVSTiPath=" + path;
    ASSERT_GE(boxes[0].text.size(), tail.size());
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - tail.size()), tail);
    {
        // Nothing of the failed load stays: no host, so the next open tries afresh.
        platform::LockGuard guard(HostLock);
        EXPECT_EQ(CurrentHost, nullptr);
    }
    EXPECT_EQ(store_.references(), 2);

    // This build's own probe then loads at once.
    watcher.Clear();
    store_.Put(u"VSTiPath_x86", LibraryPath("probe"));
    EXPECT_NE(Open(OneNote()), nullptr);
    EXPECT_TRUE(watcher.Boxes().empty());
}

TEST_F(OtherArchTest, InstrumentOfTheOtherArchitecturePlaysInAHostProcessWithTheSettingAtOne) {
    OTHER_PROBE_OR_SKIP(probe);
    MessageBoxWatcher watcher;
    store_.Put(u"VSTiPath_x86", FromUtf8(probe));
    store_.Put(u"VSTiBridge_x86", u"1");
    AxVstiDecoder* d = Open(OneNote());
    ASSERT_NE(d, nullptr) << (watcher.Boxes().empty() ? "" : ToUtf8(watcher.Boxes()[0].text));
    const double tag = Tag(SerialOf(d, 0));
    Block block = RenderOne(d);
    ASSERT_EQ(block.frames, d->MediaInfo().blockFrames);
    EXPECT_EQ(block.samples[0], tag + ::probe::NoteValue(0, 60)) << "the note, as the probe plays it";
    {
        platform::LockGuard guard(HostLock);
        ASSERT_NE(CurrentHost, nullptr);
        EXPECT_NE(CurrentHost->remote, nullptr) << "played in a host process";
    }
    EXPECT_TRUE(watcher.Boxes().empty());
}

}  // namespace
}  // namespace tavren::test
