// The "Info" text and its box.
#include "config/info.h"
#include "frame/instance_cache.h"
#include "frame/module_state.h"
#include "frame/null_config.h"
#include "message_box_watcher.h"
#include "platform/text.h"
#include "probe_fixture.h"

namespace tavren::test {
namespace {

constexpr uint32_t kBoxWaitMs = 10000;

class InfoTest : public ProbeTest {
protected:
    // Runs ShowInfo and gives the one box it showed.
    MessageBoxSeen ShowInfoBox(IHmxConfig* config) {
        MessageBoxWatcher watcher;
        ShowInfo(config);
        EXPECT_TRUE(watcher.WaitForCount(1, kBoxWaitMs));
        std::vector<MessageBoxSeen> boxes = watcher.Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? MessageBoxSeen{} : boxes[0];
    }

    std::string InfoText(const std::string& vendor, const std::string& product, const std::string& flags) {
        return "path: " + ToUtf8(probePath_) + "\r\nvendor: " + vendor + "\r\nproduct: " + product +
               "\r\nnumPrograms: 7\r\nnumParams: 9\r\nnumInputs: 1\r\nnumOutputs: 2\r\nflags: " + flags +
               "\r\nuniqueID: 1094861636\r\nversion: -5";
    }

    void DescribeProbe(const char* flags) {
        SetEnv("PROBE_FLAGS", flags);
        SetEnv("PROBE_PROGRAMS", "7");
        SetEnv("PROBE_PARAMS", "9");
        SetEnv("PROBE_INPUTS", "1");
        SetEnv("PROBE_UNIQUE_ID", "0x41424344");
        SetEnv("PROBE_VERSION", "-5");
    }
};

TEST_F(InfoTest, DescribesTheInstrumentAndKeepsItsInstanceForTheNextSong) {
    ProbeLog log;
    DescribeProbe("0x1111");
    SetEnv("PROBE_VENDOR", "Acme Sound Works");
    SetEnv("PROBE_PRODUCT", "Big Synth");
    MessageBoxSeen box = ShowInfoBox(&config_);
    EXPECT_EQ(ToUtf8(box.caption), "VSTi Information");
    EXPECT_EQ(ToUtf8(box.text),
              InfoText("Acme Sound Works", "Big Synth",
                       "4369(HasEditor | CanReplacing | IsSynth | CanDoubleReplacing)"));

    // The instance went back to the cache: the next song gets it without opening another.
    ASSERT_NE(CurrentHost, nullptr);
    VstiInstance* cached = CurrentHost->cacheSlots[0];
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(AcquireInstance(&config_), cached);
    EXPECT_EQ(log.Matching({"entry name="}).size(), 1u);
    DestroyInstance(cached);
}

TEST_F(InfoTest, ListsEveryFlagNameInTableOrderAndNoneForZero) {
    DescribeProbe("0x1331");
    EXPECT_EQ(ToUtf8(ShowInfoBox(&config_).text),
              InfoText("Tavren", "probe",
                       "4913(HasEditor | CanReplacing | ProgramChunks | IsSynth | NoSoundInStop | "
                       "CanDoubleReplacing)"));
    ProbeTest::TearDown();

    SetEnv("PROBE_FLAGS_ON_OPEN", "0");  // accepted first, then reports no flags
    EXPECT_EQ(ToUtf8(ShowInfoBox(&config_).text), InfoText("Tavren", "probe", "0()"));
}

TEST_F(InfoTest, CutsOverlongVendorAndProductTo64Characters) {
    DescribeProbe("0x110");
    // Far beyond the published 64-character limit, as some instruments write.
    SetEnv("PROBE_VENDOR", std::string(64, 'v') + std::string(150, 'X'));
    SetEnv("PROBE_PRODUCT", std::string(63, 'p'));
    EXPECT_EQ(ToUtf8(ShowInfoBox(&config_).text),
              InfoText(std::string(64, 'v'), std::string(63, 'p'), "272(CanReplacing | IsSynth)"));
}

TEST_F(InfoTest, NoInstrumentShowsFailedToLoad) {
    AxHmxNullConfig* nullConfig = new AxHmxNullConfig();
    MessageBoxSeen box = ShowInfoBox(nullConfig);
    nullConfig->Release();
    EXPECT_EQ(ToUtf8(box.caption), "VSTi Information");
    EXPECT_EQ(ToUtf8(box.text), "failed to load plug-in");

    PathConfig unloadable(TextFilePath());
    EXPECT_EQ(ToUtf8(ShowInfoBox(&unloadable).text), "failed to load plug-in");
    EXPECT_EQ(CurrentHost, nullptr);

    SetEnv("PROBE_OUTPUTS", "1");  // loads, but the effect is refused
    EXPECT_EQ(ToUtf8(ShowInfoBox(&config_).text), "failed to load plug-in");
}

}  // namespace
}  // namespace tavren::test
