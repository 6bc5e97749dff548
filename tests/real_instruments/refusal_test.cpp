// Instruments the plug-in must refuse: mono synths (one output) and effects
// (no synth flag). The song open fails with the load-failure message, "Info"
// says it could not load one, and once the module is gone nothing of the
// instrument remains: no library mapped, no thread running, no reference held.
#include <gtest/gtest.h>

#include <fstream>

#include "arch_text.h"
#include "plugin_session.h"
#include "real_synths.h"
#include "song_writer.h"

namespace realsynth {
namespace {

class Refused : public ::testing::TestWithParam<const char*> {};

TEST_P(Refused, OpenFailsWithTheMessageAndLeavesNothingBehind) {
    const std::string path = PluginPath(GetParam());
    ASSERT_TRUE(std::ifstream(path).good()) << path << " is missing: scripts/setup.sh installs it";
    ASSERT_FALSE(LibraryLoaded(path));
    const int threads = ThreadCount();
    SongWriter w;
    w.Note(0, 0, 500, 60);
    w.End(1000);
    {
        PluginSession session(PLUGIN_PATH);
        ASSERT_TRUE(session.Ready());
        session.Set(u"VSTiPath_x86", tavren::FromUtf8(path));
        {
            BoxCapture boxes;
            EXPECT_EQ(session.Open(w.Build()), nullptr);
            const std::string text = boxes.Text();
            EXPECT_NE(text.find(tavren::test::ForThisBuild(std::string("tavren_x86.hmx: VSTi プラグインのロードに失敗しました。\r\n"))),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find("\r\n\r\nVSTiPath=" + path + "\n"), std::string::npos) << text;
        }
        {
            // Refused again, not half-loaded by the first attempt.
            BoxCapture boxes;
            EXPECT_EQ(session.Apply(u"Info", u""), 0);
            EXPECT_EQ(boxes.Text(), "VSTi Information: failed to load plug-in\n");
            EXPECT_EQ(session.Open(w.Build()), nullptr);
        }
        // The library stays loaded while the module lives (the next song tries
        // it again without loading it anew); the module's end unloads it. In a
        // host process it is never loaded here at all.
        EXPECT_EQ(LibraryLoaded(path), !Bridged());
    }
    EXPECT_FALSE(LibraryLoaded(path)) << "the refused library is still loaded";
    if (threads >= 0) {
        EXPECT_LE(ThreadCount(), threads) << "a thread outlived the module";
    }
}

INSTANTIATE_TEST_SUITE_P(Debian, Refused, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<const char*>& info) { return SynthName(info.param); });

}  // namespace
}  // namespace realsynth
