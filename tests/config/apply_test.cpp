#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/apply.h"
#include "config/settings.h"
#include "frame/null_config.h"
#include "memory_config.h"
#include "platform/platform.h"

namespace tavren {
namespace {

using test::MemoryConfig;

// Keys named as in the 32-bit build (arch_text.h).
ApplyResult Apply(MemoryConfig& config, const char16_t* key, const char16_t* value) {
    return ApplyConfigCommand(&config, u"General", test::ForThisBuild(key).c_str(), value);
}

TEST(ApplyConfig, ReloadTouchesNothing) {
    MemoryConfig config;
    config.Put(u"VSTiPath_x86", u"C:\\a.dll");
    EXPECT_EQ(Apply(config, u"Reload", u"x"), ApplyReload);
    EXPECT_TRUE(config.calls.empty());
}

TEST(ApplyConfig, FixedResultsAndStoring) {
    struct Case {
        const char16_t* key;
        ApplyResult result;
    } cases[] = {
        {u"ShowEditor", ApplyUpdate},      {u"VSTiPath_x86", ApplyReload},
        {u"VSTi_x86_03_Desc", ApplyNothing}, {u"VSTi_x86_03", ApplyNothing},
        {u"SomethingElse", ApplyNothing},  {u"reload", ApplyNothing},  // keys are compared exactly
        {u"showEditor", ApplyNothing},     {u"SampleRate_", ApplyNothing},
        {u"VSTiBridge_x86", ApplyReload},  // where the instrument plays: loaded anew
    };
    for (const Case& c : cases) {
        MemoryConfig config;
        EXPECT_EQ(Apply(config, c.key, u"1"), c.result) << ToUtf8(c.key);
        EXPECT_EQ(config.Text(c.key), "1") << ToUtf8(c.key);
        EXPECT_EQ(config.values.size(), 1u) << ToUtf8(c.key);
    }
}

TEST(ApplyConfig, StoresUnderTheReceivedSection) {
    MemoryConfig config;
    ApplyConfigCommand(&config, u"General", u"ShowEditor", u"1");
    EXPECT_EQ(config.calls.front(), "SetStr General ShowEditor");
}

TEST(ApplyConfig, GlobalKeysFollowTheSelectedPath) {
    struct Row {
        const char16_t* key;
        const char16_t* pending;
        ApplyResult withPath;
    } rows[] = {{u"SampleRate_x86", u"SampleRate_", ApplyReopen},
                {u"Volume_x86", u"Volume_", ApplyUpdate},
                {u"Reset_x86", u"Reset_", ApplyUpdate},
                {u"Cache_x86", u"Cache_", ApplyUpdate}};
    for (const Row& row : rows) {
        SCOPED_TRACE(ToUtf8(row.key));
        MemoryConfig config;
        config.Put(u"VSTi_x86_03", u"C:\\Synth\\X.dll");
        // No instrument selected: stored, nothing needed, no pending value.
        EXPECT_EQ(Apply(config, row.key, u"5"), ApplyNothing);
        EXPECT_EQ(config.Text(row.key), "5");
        EXPECT_EQ(config.Text(row.pending), "<absent>");

        // A path that is no preset's.
        config.Put(u"VSTiPath_x86", u"C:\\Other.dll");
        EXPECT_EQ(Apply(config, row.key, u"6"), row.withPath);
        EXPECT_EQ(config.Text(row.key), "6");
        EXPECT_EQ(config.Text(row.pending), "<absent>");

        // Preset 3's path in other letter case: the value waits for the sync.
        config.Put(u"VSTiPath_x86", u"c:\\synth\\x.DLL");
        EXPECT_EQ(Apply(config, row.key, u"7"), row.withPath);
        EXPECT_EQ(config.Text(row.key), "7");
        EXPECT_EQ(config.Text(row.pending), "7");
    }
}

TEST(ApplyConfig, PresetFieldKeysMatterOnlyForTheSelectedPreset) {
    struct Row {
        const char16_t* suffix;
        ApplyResult matching;
    } rows[] = {{u"_Rate", ApplyReopen}, {u"_Vol", ApplyUpdate}, {u"_Reset", ApplyUpdate}, {u"_Cache", ApplyUpdate}};
    for (const Row& row : rows) {
        std::u16string key = std::u16string(u"VSTi_x86_05") + row.suffix;
        SCOPED_TRACE(ToUtf8(key));
        MemoryConfig config;
        config.Put(u"VSTiPath_x86", u"C:\\Five.dll");
        EXPECT_EQ(Apply(config, key.c_str(), u"1"), ApplyNothing) << "preset 5 has no path";
        config.Put(u"VSTi_x86_05", u"C:\\Other.dll");
        EXPECT_EQ(Apply(config, key.c_str(), u"2"), ApplyNothing) << "preset 5 is not selected";
        EXPECT_EQ(config.Text(key), "2");
        config.Put(u"VSTi_x86_05", u"c:\\five.dll");
        EXPECT_EQ(Apply(config, key.c_str(), u"3"), row.matching);
        EXPECT_EQ(config.Text(key), "3");
        EXPECT_EQ(config.CountCalls("SetStr"), 3u) << "no pending or global key written";
    }
}

TEST(ApplyConfig, SuffixSearchTakesTheFirstRowAndCutsThePathKey) {
    MemoryConfig config;
    config.Put(u"VSTiPath_x86", u"C:\\x.dll");
    config.Put(u"Pre", u"C:\\x.dll");
    // "_Rate" is tried before "_Vol", wherever either occurs: the path key
    // of "Pre_Vol_Rate" is "Pre_Vol", not "Pre".
    EXPECT_EQ(Apply(config, u"Pre_Rate_Vol", u"1"), ApplyReopen);
    EXPECT_EQ(Apply(config, u"Pre_Vol_Rate", u"1"), ApplyNothing);
    config.Put(u"Pre_Vol", u"C:\\X.DLL");
    EXPECT_EQ(Apply(config, u"Pre_Vol_Rate", u"1"), ApplyReopen);
    EXPECT_EQ(Apply(config, u"Pre_Cache", u"1"), ApplyUpdate);
    EXPECT_EQ(Apply(config, u"_Vol", u"1"), ApplyNothing) << "empty path key";

    // The path key is cut to 127 characters.
    std::u16string longKey(130, u'k');
    config.Put(longKey.substr(0, 127), u"C:\\x.dll");
    EXPECT_EQ(Apply(config, (longKey + u"_Vol").c_str(), u"1"), ApplyUpdate);
}

TEST(ApplyConfig, GlobalChangeThenSyncMovesTheValueIntoThePreset) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_02", u"C:\\Roland\\SOUND Canvas VA.dll");
    config.Put(u"VSTi_x86_02_Rate", u"48000");
    config.Put(u"VSTiPath_x86", u"c:\\roland\\sound canvas va.dll");

    EXPECT_EQ(Apply(config, u"Volume_x86", u"80"), ApplyUpdate);
    EXPECT_EQ(config.Text(u"Volume_x86"), "80");
    EXPECT_EQ(config.Text(u"Volume_"), "80");

    EXPECT_EQ(Apply(config, u"", u""), ApplyNothing);
    EXPECT_EQ(config.Text(u"VSTi_x86_02_Vol"), "80");
    EXPECT_EQ(config.Text(u"Volume_"), "");
    EXPECT_EQ(config.Text(u"Volume_x86"), "80");
    EXPECT_EQ(config.Text(u"SampleRate_x86"), "48000");
    EXPECT_EQ(config.Text(u"Reset_x86"), "3");
    EXPECT_EQ(config.Text(u"Cache_x86"), "1");
    EXPECT_EQ(config.Text(u""), "") << "the empty key is stored like any other";
    // The preset's own fields it never had stay absent: defaults go only to the globals.
    EXPECT_EQ(config.Text(u"VSTi_x86_02_Reset"), "<absent>");
}

TEST(ApplyConfig, SyncCopiesTheLowestMatchingPreset) {
    MemoryConfig config;
    config.Put(u"VSTiPath_x86", u"C:\\s.dll");
    config.Put(u"VSTi_x86_06", u"C:\\S.DLL");
    config.Put(u"VSTi_x86_06_Rate", u"-96000");
    config.Put(u"VSTi_x86_06_Vol", u"55.5");
    config.Put(u"VSTi_x86_06_Reset", u"1");
    config.Put(u"VSTi_x86_06_Cache", u"0");
    config.Put(u"VSTi_x86_09", u"C:\\s.dll");  // a duplicate: dropped by the sync first
    config.Put(u"VSTi_x86_09_Vol", u"10");
    EXPECT_EQ(Apply(config, u"", u""), ApplyNothing);
    EXPECT_EQ(config.Text(u"SampleRate_x86"), "-96000");
    EXPECT_EQ(config.Text(u"Volume_x86"), "55.5");
    EXPECT_EQ(config.Text(u"Reset_x86"), "1");
    EXPECT_EQ(config.Text(u"Cache_x86"), "0");
    EXPECT_EQ(config.Text(u"VSTi_x86_09"), "");
    EXPECT_EQ(config.Text(u"VSTi_x86_06"), "C:\\S.DLL");
}

TEST(ApplyConfig, PendingValuesWaitForAMatchingPreset) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_03", u"C:\\three.dll");
    config.Put(u"VSTi_x86_03_Reset", u"2");
    config.Put(u"VSTiPath_x86", u"C:\\three.dll");
    EXPECT_EQ(Apply(config, u"Reset_x86", u"0"), ApplyUpdate);
    EXPECT_EQ(config.Text(u"Reset_"), "0");

    // The user picks another instrument before the sync: the value waits.
    EXPECT_EQ(Apply(config, u"VSTiPath_x86", u"C:\\none.dll"), ApplyReload);
    EXPECT_EQ(Apply(config, u"", u""), ApplyNothing);
    EXPECT_EQ(config.Text(u"Reset_"), "0");
    EXPECT_EQ(config.Text(u"VSTi_x86_03_Reset"), "2");

    EXPECT_EQ(Apply(config, u"VSTiPath_x86", u"C:\\THREE.dll"), ApplyReload);
    EXPECT_EQ(Apply(config, u"", u""), ApplyNothing);
    EXPECT_EQ(config.Text(u"VSTi_x86_03_Reset"), "0");
    EXPECT_EQ(config.Text(u"Reset_"), "");
    // The moved row does not copy into the global key; the others do.
    EXPECT_EQ(config.Text(u"Reset_x86"), "0");
    EXPECT_EQ(config.Text(u"SampleRate_x86"), "44100");
}

TEST(PresetSync, DropsDuplicatePathsAndNamesInOtherCase) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_01", u"C:\\Same.dll");
    config.Put(u"VSTi_x86_04", u"c:\\same.DLL");
    config.Put(u"VSTi_x86_06", u"C:\\SAME.dll");
    config.Put(u"VSTi_x86_07", u"C:\\Different.dll");
    config.Put(u"VSTi_x86_02_Desc", u"Piano");
    config.Put(u"VSTi_x86_05_Desc", u"PIANO");
    config.Put(u"VSTi_x86_08_Desc", u"Organ");
    config.Put(u"VSTi_x86_09_Desc", u"Pianoforte");
    EXPECT_EQ(PresetSync(&config), ApplyNothing);
    EXPECT_EQ(config.Text(u"VSTi_x86_01"), "C:\\Same.dll");
    EXPECT_EQ(config.Text(u"VSTi_x86_04"), "");
    EXPECT_EQ(config.Text(u"VSTi_x86_06"), "");
    EXPECT_EQ(config.Text(u"VSTi_x86_07"), "C:\\Different.dll");
    EXPECT_EQ(config.Text(u"VSTi_x86_02_Desc"), "Piano");
    EXPECT_EQ(config.Text(u"VSTi_x86_05_Desc"), "");
    EXPECT_EQ(config.Text(u"VSTi_x86_08_Desc"), "Organ");
    EXPECT_EQ(config.Text(u"VSTi_x86_09_Desc"), "Pianoforte");
    // One write per dropped copy and nothing else: no path is selected.
    EXPECT_EQ(config.CountCalls("SetStr"), 3u);
}

TEST(PresetSync, NoBlockMeansNoSync) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_01", u"C:\\a.dll");
    config.Put(u"VSTi_x86_02", u"C:\\a.dll");
    EXPECT_EQ(PresetSyncWith(&config, nullptr), ApplyNothing);
    EXPECT_TRUE(config.calls.empty());
}

TEST(ApplyConfig, NullConfigUsesDefaults) {
    auto* null = new AxHmxNullConfig();
    EXPECT_EQ(ApplyConfigCommand(null, u"General", u"ShowEditor", u"1"), ApplyUpdate);
    EXPECT_EQ(ApplyConfigCommand(null, u"General", test::ForThisBuild(u"VSTiPath_x86").c_str(), u"C:\\a.dll"),
              ApplyReload);
    // Nothing was stored, so the path still reads empty.
    EXPECT_EQ(ApplyConfigCommand(null, u"General", test::ForThisBuild(u"SampleRate_x86").c_str(), u"48000"),
              ApplyNothing);
    EXPECT_EQ(ApplyConfigCommand(null, u"General", test::ForThisBuild(u"VSTi_x86_01_Rate").c_str(), u"48000"),
              ApplyNothing);
    EXPECT_EQ(ApplyConfigCommand(null, u"General", u"", u""), ApplyNothing);
    null->Release();
}

#ifndef _WIN32
std::vector<std::string> boxes;
void CaptureBox(const char16_t* caption, const char16_t* text) {
    boxes.push_back(ToUtf8(caption) + ": " + ToUtf8(text));
}

TEST(ApplyConfig, InfoWithoutInstrumentStoresNothing) {
    MemoryConfig config;
    boxes.clear();
    platform::SetMessageBoxSink(CaptureBox);
    EXPECT_EQ(Apply(config, u"Info", u"1"), ApplyNothing);
    platform::SetMessageBoxSink(nullptr);
    EXPECT_EQ(config.CountCalls("SetStr"), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "VSTi Information: failed to load plug-in");
}
#endif

}  // namespace
}  // namespace tavren
