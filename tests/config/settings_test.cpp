#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/editor_pos.h"
#include "config/settings.h"
#include "frame/null_config.h"
#include "expected_defaults.h"
#include "memory_config.h"
#include "platform/platform.h"

namespace tavren {
namespace {

using test::ExpectedDefaults;
using test::MemoryConfig;

VstiSettings Read(MemoryConfig& config) {
    VstiSettings settings;
    ReadVstiSettings(&config, &settings);
    return settings;
}

TEST(ReadVstiSettings, EmptyStoreGivesDefaults) {
    MemoryConfig config;
    VstiSettings s = Read(config);
    EXPECT_EQ(std::u16string(s.path), u"");
    EXPECT_EQ(s.sampleRate, 44100);
    EXPECT_DOUBLE_EQ(s.volume, 1.0);
    EXPECT_EQ(s.reset, 3);
    EXPECT_FALSE(s.showEditor);
    EXPECT_TRUE(s.cache);
    EXPECT_EQ(s.editorX, 0);
    EXPECT_EQ(s.editorY, 0);
    EXPECT_EQ(s.bridge, 0);
    // Each key read once, in the order the decoder relies on.
    std::vector<std::string> expected = {
        "GetStr General VSTiPath_x86", "GetInt General ShowEditor",  "GetInt General SampleRate_x86",
        "GetFloat General Volume_x86", "GetInt General Reset_x86",   "GetInt General Cache_x86",
        "GetInt General EditorPos",    "GetInt General VSTiBridge_x86"};
    for (std::string& call : expected) call = test::ForThisBuild(call);
    EXPECT_EQ(config.calls, expected);
}

// The 32-bit and the 64-bit plug-in share the host player's store but not
// their instruments: each reads only the keys of its own architecture.
TEST(ReadVstiSettings, ReadsOnlyTheBuildsOwnKeys) {
    MemoryConfig config;
    const std::u16string self = test::kBuild64 ? u"_x64" : u"_x86";
    const std::u16string other = test::kBuild64 ? u"_x86" : u"_x64";
    config.values[u"General/VSTiPath" + other] = u"C:\\other.dll";
    config.values[u"General/Volume" + other] = u"50";
    config.values[u"General/VSTi" + other + u"_01"] = u"C:\\other.dll";
    config.values[u"General/Reset" + self] = u"1";
    VstiSettings s = Read(config);
    EXPECT_EQ(std::u16string(s.path), u"");
    EXPECT_DOUBLE_EQ(s.volume, 1.0);
    EXPECT_EQ(s.reset, 1);
    char16_t path[kPathChars];
    ReadPresetPath(&config, 0, path);
    EXPECT_EQ(std::u16string(path), u"");
    config.values[u"General/VSTiPath" + self] = u"C:\\self.dll";
    EXPECT_EQ(std::u16string(Read(config).path), u"C:\\self.dll");
}

TEST(ReadVstiSettings, SampleRateValidation) {
    struct Case {
        const char16_t* stored;
        int32_t expected;
    } cases[] = {{u"-48000", -48000}, {u"192000", 192000}, {u"-192000", -192000}, {u"22050", 44100},
                 {u"0", 44100},       {u"48001", 44100},   {u"4294967296", 44100},
                 // The low 32 bits decide: 2^32 + 48000 reads as 48000.
                 {u"4295015296", 48000}};
    for (const Case& c : cases) {
        MemoryConfig config;
        config.Put(u"SampleRate_x86", c.stored);
        EXPECT_EQ(Read(config).sampleRate, c.expected) << ToUtf8(c.stored);
    }
}

TEST(ReadVstiSettings, VolumeIsClampedThenScaled) {
    struct Case {
        const char16_t* stored;
        double expected;
    } cases[] = {{u"125.5", 1.255}, {u"500", 4.0}, {u"400", 4.0}, {u"-3", 0.0}, {u"0", 0.0}, {u"80", 0.8}};
    for (const Case& c : cases) {
        MemoryConfig config;
        config.Put(u"Volume_x86", c.stored);
        EXPECT_DOUBLE_EQ(Read(config).volume, c.expected) << ToUtf8(c.stored);
    }
}

TEST(ReadVstiSettings, ResetAndBooleans) {
    MemoryConfig config;
    config.Put(u"Reset_x86", u"7");
    EXPECT_EQ(Read(config).reset, 3);
    config.Put(u"Reset_x86", u"-1");
    EXPECT_EQ(Read(config).reset, 3);
    config.Put(u"Reset_x86", u"2");
    EXPECT_EQ(Read(config).reset, 2);
    config.Put(u"Reset_x86", u"0");
    EXPECT_EQ(Read(config).reset, 0);

    // Low 32 bits zero, high bits not: still true.
    config.Put(u"ShowEditor", u"4294967296");
    config.Put(u"Cache_x86", u"4294967296");
    VstiSettings s = Read(config);
    EXPECT_TRUE(s.showEditor);
    EXPECT_TRUE(s.cache);
    config.Put(u"Cache_x86", u"0");
    config.Put(u"ShowEditor", u"1");
    s = Read(config);
    EXPECT_TRUE(s.showEditor);
    EXPECT_FALSE(s.cache);
}

// Where instruments play: 0, 1 or 2; anything else plays them as before.
TEST(ReadVstiSettings, BridgeModeOutsideItsChoicesIsZero) {
    const struct {
        const char16_t* stored;
        int32_t mode;
    } cases[] = {{u"0", 0}, {u"1", 1}, {u"2", 2}, {u"3", 0}, {u"-1", 0}, {u"4294967297", 0}, {u"two", 0}};
    for (const auto& c : cases) {
        MemoryConfig config;
        config.Put(u"VSTiBridge_x86", c.stored);
        EXPECT_EQ(Read(config).bridge, c.mode) << ToUtf8(c.stored);
        config.Put(u"VSTiBridge_x64", u"2");  // the other build's key is not read
        EXPECT_EQ(Read(config).bridge, test::kBuild64 ? 2 : c.mode) << ToUtf8(c.stored);
    }
}

TEST(ReadVstiSettings, PathIsCutToBuffer) {
    MemoryConfig config;
    std::u16string longPath(300, u'p');
    config.Put(u"VSTiPath_x86", longPath);
    VstiSettings s = Read(config);
    EXPECT_EQ(std::u16string(s.path), longPath.substr(0, 259));
}

TEST(ReadVstiSettings, NullConfigGivesDefaultsWithoutCalls) {
    auto* null = new AxHmxNullConfig();
    VstiSettings s;
    ReadVstiSettings(null, &s);
    EXPECT_EQ(s.path[0], 0);
    EXPECT_EQ(s.sampleRate, 44100);
    EXPECT_DOUBLE_EQ(s.volume, 1.0);
    EXPECT_EQ(s.reset, 3);
    EXPECT_TRUE(s.cache);
    EXPECT_FALSE(s.showEditor);
    null->Release();
}

TEST(EditorPos, PackingAndClamping) {
    MemoryConfig config;
    SaveEditorPos(&config, -50, 5000);
    // y * 2^32 + x with x as its unsigned pattern.
    EXPECT_EQ(config.Text(u"EditorPos"), std::to_string((5000ll << 32) + 0xFFFFFFCEll));
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    ScreenSize(&width, &height);
    ReadEditorPos(&config, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, height - 100);

    SaveEditorPos(&config, 120, -7);
    ReadEditorPos(&config, &x, &y);
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 0);

    x = -50, y = 5000;
    ClampEditorPos(&x, &y, 1920, 1080);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 980);
    x = 5000, y = 30;
    ClampEditorPos(&x, &y, 1920, 1080);
    EXPECT_EQ(x, 1820);
    EXPECT_EQ(y, 30);
    // A screen under 100 pixels: x ends below zero, y at zero (order of the steps).
    x = 10, y = 10;
    ClampEditorPos(&x, &y, 50, 50);
    EXPECT_EQ(x, -50);
    EXPECT_EQ(y, 0);
}

TEST(EditorPos, NullConfigMakesNoCall) {
    auto* null = new AxHmxNullConfig();
    int32_t x = 5;
    int32_t y = 5;
    ReadEditorPos(null, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    SaveEditorPos(null, 10, 10);  // must not crash or reach a store
    null->Release();
}

TEST(PresetKeys, TableAndKeyForms) {
    const char16_t* suffixes[] = {u"", u"_Desc", u"_Rate", u"_Vol", u"_Reset", u"_Cache"};
    const char16_t* pending[] = {nullptr, nullptr, u"SampleRate_", u"Volume_", u"Reset_", u"Cache_"};
    const char16_t* global[] = {nullptr, nullptr, u"SampleRate_x86", u"Volume_x86", u"Reset_x86", u"Cache_x86"};
    const char16_t* defaults[] = {u"", u"", u"44100", u"100.0", u"3", u"1"};
    ASSERT_EQ(PresetFieldCount, 6);
    for (int row = 0; row < PresetFieldCount; ++row) {
        const PresetField& f = PresetFieldTable[row];
        EXPECT_EQ(std::u16string(f.suffix), suffixes[row]);
        EXPECT_EQ(std::u16string(f.defaultText), defaults[row]);
        if (pending[row]) {
            EXPECT_EQ(std::u16string(f.pendingKey), pending[row]);
            EXPECT_EQ(std::u16string(f.globalKey), test::ForThisBuild(global[row]));
        } else {
            EXPECT_EQ(f.pendingKey, nullptr);
            EXPECT_EQ(f.globalKey, nullptr);
        }
    }
    char16_t key[kKeyChars];
    PresetKey(key, kKeyChars, 1, PresetPath);
    EXPECT_EQ(std::u16string(key), test::ForThisBuild(u"VSTi_x86_01"));
    PresetKey(key, kKeyChars, 10, PresetCache);
    EXPECT_EQ(std::u16string(key), test::ForThisBuild(u"VSTi_x86_10_Cache"));

    MemoryConfig config;
    config.Put(u"VSTi_x86_07", u"C:\\seven.dll");
    char16_t path[kPathChars];
    ReadPresetPath(&config, 6, path);
    EXPECT_EQ(std::u16string(path), u"C:\\seven.dll");
}

TEST(BuildPresetLists, EmptyStoreCreatesDefaultPresets) {
    MemoryConfig config;
    char16_t values[kPresetListChars];
    char16_t labels[kPresetListChars];
    BuildPresetLists(&config, values, labels);
    test::Defaults expected = ExpectedDefaults();
#ifdef _WIN32
    ASSERT_FALSE(expected.midRadio.empty()) << "the Windows build has a Program Files folder";
    EXPECT_EQ(std::u16string(values), expected.midRadio + u"\t" + expected.soundCanvas);
    EXPECT_EQ(std::u16string(labels), u"MidRadio Player\tSOUND Canvas VA");
    EXPECT_EQ(config.Text(u"VSTi_x86_01"), ToUtf8(expected.midRadio));
    EXPECT_EQ(config.Text(u"VSTi_x86_01_Desc"), "MidRadio Player");
    EXPECT_EQ(config.Text(u"VSTi_x86_02"), ToUtf8(expected.soundCanvas));
    EXPECT_EQ(config.Text(u"VSTi_x86_02_Desc"), "SOUND Canvas VA");
    EXPECT_EQ(config.values.size(), 4u);
#else
    ASSERT_TRUE(expected.midRadio.empty());
    EXPECT_EQ(std::u16string(values), u"");
    EXPECT_EQ(std::u16string(labels), u"");
    EXPECT_EQ(config.CountCalls("SetStr"), 0u) << "no default preset without a Program Files folder";
#endif
}

TEST(BuildPresetLists, ListsUsedPresetsOnly) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_01", u"C:\\one.dll");
    config.Put(u"VSTi_x86_01_Desc", u"One");
    config.Put(u"VSTi_x86_02", u"C:\\two.dll");
    config.Put(u"VSTi_x86_05", u"C:\\five.dll");  // no display name: listed under its path
    config.Put(u"VSTi_x86_10", u"C:\\ten.dll");
    config.Put(u"VSTi_x86_10_Desc", u"Ten");
    config.Put(u"VSTi_x86_04_Desc", u"Name without path");
    char16_t values[kPresetListChars];
    char16_t labels[kPresetListChars];
    BuildPresetLists(&config, values, labels);
    EXPECT_EQ(std::u16string(values), u"C:\\one.dll\tC:\\two.dll\tC:\\five.dll\tC:\\ten.dll");
    EXPECT_EQ(std::u16string(labels), u"One\tC:\\two.dll\tC:\\five.dll\tTen");
    EXPECT_EQ(config.CountCalls("SetStr"), 0u) << "presets 1 and 2 are in use: nothing written";
}

// A tab inside a name or a path would split it into two entries and label
// every later path with the wrong name: it is listed as a space.
TEST(BuildPresetLists, TabsInsideEntriesKeepTheListsParallel) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_01", u"C:\\one.dll");
    config.Put(u"VSTi_x86_01_Desc", u"My\tSynth");
    config.Put(u"VSTi_x86_02", u"C:\\t\two.dll");
    config.Put(u"VSTi_x86_02_Desc", u"Two");
    char16_t values[kPresetListChars];
    char16_t labels[kPresetListChars];
    BuildPresetLists(&config, values, labels);
    EXPECT_EQ(std::u16string(values), u"C:\\one.dll\tC:\\t wo.dll");
    EXPECT_EQ(std::u16string(labels), u"My Synth\tTwo");
}

// Ten paths of 259 characters fill 2599 of the 2860 characters: the
// largest lists the store can produce arrive whole.
TEST(BuildPresetLists, LongestEntriesFitWhole) {
    MemoryConfig config;
    std::u16string values;
    std::u16string labels;
    for (int n = 1; n <= 10; ++n) {
        char16_t key[kKeyChars];
        std::u16string path(300, static_cast<char16_t>(u'a' + n));  // cut to 259 on reading
        PresetKey(key, kKeyChars, n, PresetPath);
        config.Put(key, path);
        PresetKey(key, kKeyChars, n, PresetDesc);
        config.Put(key, std::u16string(300, static_cast<char16_t>(u'A' + n)));  // cut to 255
        values += (n > 1 ? u"\t" : u"") + path.substr(0, 259);
        labels += (n > 1 ? u"\t" : u"") + std::u16string(255, static_cast<char16_t>(u'A' + n));
    }
    char16_t valueList[kPresetListChars];
    char16_t labelList[kPresetListChars];
    BuildPresetLists(&config, valueList, labelList);
    EXPECT_EQ(std::u16string(valueList), values);
    EXPECT_EQ(std::u16string(labelList), labels);
}

TEST(LocateSoundCanvasVa, FallsBackWhenTheFileIsMissingOrADirectory) {
    namespace fs = std::filesystem;
    fs::path base = fs::temp_directory_path() /
                    ("tavren-config-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(base);
    std::u16string folder = base.u16string();
    std::u16string direct = folder + u"\\Roland\\Sound Canvas VA\\SOUND Canvas VA.dll";
    std::u16string fallback = folder + u"\\Vstplugins\\Roland\\Sound Canvas VA\\SOUND Canvas VA.dll";
    char16_t path[kPathChars];

    LocateSoundCanvasVaUnder(folder.c_str(), path);
    EXPECT_EQ(std::u16string(path), fallback) << "missing file";

    // On Linux the backslashes belong to one file name beside the folder,
    // which is the name FileAttributes is asked about; on Windows they nest.
    fs::create_directories(fs::path(direct));
    LocateSoundCanvasVaUnder(folder.c_str(), path);
    EXPECT_EQ(std::u16string(path), fallback) << "a directory of that name";

    fs::remove_all(fs::path(direct));
    std::ofstream(fs::path(direct)) << "x";
    LocateSoundCanvasVaUnder(folder.c_str(), path);
    EXPECT_EQ(std::u16string(path), direct) << "the file exists";

    fs::remove(fs::path(direct));
    fs::remove_all(base);
}

}  // namespace
}  // namespace tavren
