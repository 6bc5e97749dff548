#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/page.h"
#include "expected_defaults.h"
#include "frame/null_config.h"
#include "memory_config.h"

namespace tavren {
namespace {

using test::MemoryConfig;
using test::RecordingBuilder;
using Text = std::optional<std::u16string>;

const Text kNull = std::nullopt;

// Help texts line by line as the page declares them; Join adds "\r\n"
// between lines and, where the text ends with one, after the last.
std::u16string Join(std::vector<std::u16string> lines, bool finalBreak) {
    std::u16string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += u"\r\n";
        text += lines[i];
    }
    return finalBreak ? text + u"\r\n" : text;
}

const std::u16string H1 = Join(
    {u"VSTi プラグインのパスを指定します。(x86)",
     u"動作中の tavren.hmx は x86 版です。x64 版の VSTi プラグインは使用出来ません。", u"",
     u"動作確認済 VSTi プラグイン", u"",
     u"・MidRadio Player (SGP2.dll)(x86)(x64 版の tavren_x64.hmx では使用不可)", u"    https://midradio.jp/",
     u"・SOUND Canvas VA(製品版) (SOUND Canvas VA.dll)(x86/x64)",
     u"    https://www.roland.com/jp/products/rc_sound_canvas_va/",
     u"・Yamaha S-YXG50 Portable VSTi (syxg50.dll)(x86)(x64 版の tavren_x64.hmx では使用不可)",
     u"    https://veg.by/en/projects/syxg50/",
     u"・VSTSynthFont (VSTSynthFont.dll(x86) / VSTSynthFont64.dll(x64))",
     u"    https://www.synthfont.com/Downloads.html", u"",
     u"その他の VSTi プラグインを使用することも出来ますが、全ての VSTi プラグインが動作するとは限りません。"},
    true);
const std::u16string H2 = Join(
    {u"VSTi プラグインの設定画面を開きます。開くのは再生中だけです。",
     u"「VSTi 情報」を表示時、\"flags\" に \"HasEditor\" を含まないと設定画面は表示されません。", u"",
     u"本体の動作の仕様上、画面上での設定変更が再生に反映されるまで時間がかかります。",
     u"レベルメータのようなものがある場合、実際の再生より先行して表示されます。",
     u"設定変更が反映されるまでの時間やレベルメータの表示のずれは、",
     u"本体の「先読みバッファのサイズ」とデバイス設定の「再生バッファサイズ」",
     u"を小さくすると軽減されますが、「先読みバッファのサイズ」をあまり小さくするとギャップレス再生が出来なくなるなどの弊害があるため注意が必要です。"},
    false);
const std::u16string H3 = Join({u"VSTi プラグインの情報を表示します。",
                                 u"\"flags\" のところに \"HasEditor\" を含まないと設定画面は表示されません。"},
                                false);
const std::u16string H4 =
    Join({u"VSTi プラグインをリロードします。", u"演奏がおかしくなった場合などに実行してみて下さい。"}, false);
const std::u16string H5 = Join({u"本体からの要求が 0 のときの再生周波数", u"負の値を指定すると本体からの要求を無視します。",
                                 u"", u"VSTi プラグインによって対応する再生周波数が異なります。", u""},
                                true);
const std::u16string H6 =
    Join({u"VSTi プラグイン間の音量が異なる場合の調整用です。", u"100 より大きいと音が割れる可能性があります。",
          u"音量が最も小さいプラグインを 100 として、それより音量が大きいプラグインの値を ",
          u"100 より小さくするような調整をお勧めします。", u"80.5, 125.5 のように実数値で指定することが出来ます。"},
         true);
const std::u16string H7 = Join(
    {u"演奏開始時に送信するリセット系システムエクスクルーシブを指定します。", u"", u"0: GM SYSTEM ON",
     u"1: GM2 SYSTEM ON", u"2: XG SYSTEM ON", u"3: GS RESET", u"",
     u"GM SYSTEM ON 以外を指定しても、GM SYSTEM ON は常に最初に送信します。",
     u"リセットを含む曲の場合、(VSTi プラグインが受信すれば)そちらが有効となります。",
     u"XG SYSTEM ON を含む曲の場合、GS RESET や GM2 SYSTEM ON を指定しても送信しません。",
     u"(XG SYSTEM ON を受信せず、GS RESET を受信する場合に演奏がおかしくなるため)", u"",
     u"VSTi プラグインによっては指定の音源リセットを受信しないことがあります。"},
    false);
const std::u16string H8 = Join({u"true にすると曲を閉じる際に VSTi プラグインをキャッシュします。(最大4個)",
                                 u"初期化に時間がかかるプラグインでの曲の切り替えが高速になりますが、",
                                 u"曲切り替え時に前回使用したプラグインを使い回す為、音源リセットが利かない",
                                 u"プラグインでは再生を繰り返すうちに不自然になります。", u"",
                                 u"false にすると曲を閉じる際に VSTi プラグインをキャッシュしません。",
                                 u"初期化に時間がかかるプラグインでの曲の切り替えが低速になりますが、",
                                 u"プラグインを使い回さない為、再生を繰り返しても不自然になることは",
                                 u"なくなる筈です。"},
                                true);
const std::u16string H9 = Join({u"良く使う VSTi プラグインのパスと設定をプリセットに登録します。",
                                 u"プリセットに登録することで「VSTi のパス」の一覧に表示されるようになります。",
                                 u"プラグインごとに再生周波数、音量、音源リセット、キャッシュを設定することが出来ます。",
                                 u"動作中の tavren.hmx は x86 版です。x64 版の VSTi プラグインは使用出来ません。"},
                                true);
const std::u16string H10 = u"「VSTi のパス」の一覧に表示する際の表示名です。";
// The last item's help names the build's own architecture (self) and the
// other's; the host programs of both are named in its last line.
std::u16string H11(const std::u16string& self, const std::u16string& other) {
    return Join({u"VSTi プラグインを本体とは別のプロセスで動作させます。", u"",
                 u"0: 別のプロセスは使用しません。(" + other + u" 版の VSTi プラグインは使用出来ません)",
                 u"1: " + other + u" 版の VSTi プラグインだけを別のプロセス (tavren_host_" + other +
                     u".exe) で動作させます。" + self + u" 版の VSTi プラグインはこれまで通り本体のプロセスで動作します。",
                 u"2: すべての VSTi プラグインを別のプロセスで動作させます。", u"",
                 u"別のプロセスで動作する VSTi プラグインが異常終了したり応答しなくなったりしても、本体は終了しません。",
                 u"その代わり、音声とイベントのやり取りのために処理の負荷が少し増え、曲を開く時間が少し長くなります。",
                 u"tavren_host_x86.exe と tavren_host_x64.exe は tavren.hmx と同じフォルダに置いて下さい。"},
                false);
}

const std::u16string kRates =
    u"44100\t48000\t88200\t96000\t176400\t192000\t-44100\t-48000\t-88200\t-96000\t-176400\t-192000";
const std::u16string kResets = u"0\t1\t2\t3";
const std::u16string kResetNames = u"GM SYSTEM ON\tGM2 SYSTEM ON\tXG SYSTEM ON\tGS RESET";
const std::u16string kDll = u"DLL File(*.dll)\t*.dll";

struct Expected {
    int32_t type;
    Text key, label, def, minimum, maximum, values, labels, help;
};

// The 69 items as the page must declare them; choice lists of the path
// item and the defaults of presets 1 and 2 are given by the caller.
std::vector<Expected> ExpectedItems(const std::u16string& pathValues, const std::u16string& pathLabels) {
    std::vector<Expected> items = {
        {5, u"VSTiPath_x86", u"VSTi のパス(x86)", u"", kDll, kNull, pathValues, pathLabels, H1},
        {0, u"ShowEditor", u"VSTi 設定", u"0", kNull, kNull, kNull, kNull, H2},
        {4, u"Info", u"VSTi 情報", kNull, kNull, kNull, kNull, kNull, H3},
        {4, u"Reload", u"VSTi をリロード", kNull, kNull, kNull, kNull, kNull, H4},
        {1, u"SampleRate_x86", u"再生周波数", u"44100", kNull, kNull, kRates, kNull, H5},
        {2, u"Volume_x86", u"音量(%)", u"100.0", u"0.0", u"400.0", kNull, kNull, H6},
        {1, u"Reset_x86", u"音源リセット", u"3", kNull, kNull, kResets, kResetNames, H7},
        {0, u"Cache_x86", u"キャッシュ", u"1", kNull, kNull, kNull, kNull, H8},
    };
    test::Defaults defaults = test::ExpectedDefaults();
    const char16_t* numbers[] = {u"01", u"02", u"03", u"04", u"05", u"06", u"07", u"08", u"09", u"10"};
    for (int n = 1; n <= 10; ++n) {
        std::u16string key = std::u16string(u"VSTi_x86_") + numbers[n - 1];
        std::u16string path = n == 1 ? defaults.midRadio : n == 2 ? defaults.soundCanvas : u"";
        std::u16string name = n == 1 ? u"MidRadio Player" : n == 2 ? u"SOUND Canvas VA" : u"";
        items.push_back({5, key, key + u"(パス)", path, kDll, kNull, kNull, kNull, H9});
        items.push_back({3, key + u"_Desc", key + u"(表示名)", name, kNull, u"256", kNull, kNull, H10});
        items.push_back({1, key + u"_Rate", key + u"(再生周波数)", u"44100", kNull, kNull, kRates, kNull, H5});
        items.push_back({2, key + u"_Vol", key + u"(音量(%))", u"100.0", u"0.0", u"400.0", kNull, kNull, H6});
        items.push_back(
            {1, key + u"_Reset", key + u"(音源リセット)", u"3", kNull, kNull, kResets, kResetNames, H7});
        items.push_back({0, key + u"_Cache", key + u"(キャッシュ)", u"1", kNull, kNull, kNull, kNull, H8});
    }
    // Last, so that no item of the page before it moved.
    items.push_back({1, u"VSTiBridge_x86", u"VSTi を別プロセスで動作(x86)", u"0", kNull, kNull, u"0\t1\t2",
                     u"使用しない\tx64 版の VSTi のみ\tすべての VSTi", H11(u"x86", u"x64")});
    return items;
}

std::string Show(const Text& text) { return text ? ToUtf8(*text) : "<null>"; }

// The 64-bit page is the 32-bit one above with "_x86" read as "_x64"
// throughout; the texts that name the running build's own architecture (the
// path's label, its help, the preset path help) name x64, and x86 as the
// kind of instrument it cannot load. The list of known instruments in the
// path's help is the same in both.
Text ForThisPage(const Text& text) {
    if (!text || !test::kBuild64) return text;
    // Before the key translation, which would read its host program's name as the other's.
    if (*text == H11(u"x86", u"x64")) return H11(u"x64", u"x86");
    std::u16string page = test::ForThisBuild(*text);
    page = test::ReplaceAll<std::u16string>(page, u"VSTi のパス(x86)", u"VSTi のパス(x64)");
    page = test::ReplaceAll<std::u16string>(page, u"のパスを指定します。(x86)", u"のパスを指定します。(x64)");
    page = test::ReplaceAll<std::u16string>(page, u"tavren.hmx は x86 版です。x64 版の",
                                            u"tavren.hmx は x64 版です。x86 版の");
    page = test::ReplaceAll<std::u16string>(page, u"別プロセスで動作(x86)", u"別プロセスで動作(x64)");
    page = test::ReplaceAll<std::u16string>(page, u"使用しない\tx64 版の", u"使用しない\tx86 版の");
    return page;
}

void ExpectItems(const RecordingBuilder& builder, const std::vector<Expected>& expected) {
    ASSERT_EQ(builder.items.size(), expected.size());
    const char* names[] = {"section", "key", "label", "default", "minimum", "maximum", "values", "labels", "help"};
    for (size_t i = 0; i < expected.size(); ++i) {
        const test::RecordedItem& got = builder.items[i];
        const Expected& want = expected[i];
        Text wanted[9] = {u"General", want.key, want.label, want.def, want.minimum,
                          want.maximum, want.values, want.labels, want.help};
        for (Text& field : wanted) field = ForThisPage(field);
        EXPECT_EQ(got.type, want.type) << "item " << i + 1;
        for (int f = 0; f < 9; ++f)
            EXPECT_EQ(Show(got.fields[f]), Show(wanted[f])) << "item " << i + 1 << " " << names[f];
    }
}

TEST(DescribeConfig, OneSectionThen69ItemsInOrder) {
    MemoryConfig config;
    config.Put(u"VSTi_x86_01", u"C:\\a.dll");
    config.Put(u"VSTi_x86_01_Desc", u"A");
    config.Put(u"VSTi_x86_02", u"C:\\b.dll");
    config.Put(u"VSTi_x86_07", u"C:\\g.dll");
    config.Put(u"VSTi_x86_07_Desc", u"G");
    RecordingBuilder builder;
    EXPECT_EQ(DescribeConfig(&config, &builder), 1);

    ASSERT_EQ(builder.order.size(), 70u);
    EXPECT_EQ(builder.order[0], 'S');
    ASSERT_EQ(builder.sections.size(), 3u);
    EXPECT_EQ(Show(builder.sections[0]), "General");
    EXPECT_EQ(Show(builder.sections[1]), "<null>");
    EXPECT_EQ(Show(builder.sections[2]), "tavren.hmx に関する一般的な設定です。");
    // The stored presets decide the choice list; the declared defaults of
    // presets 1 and 2 stay the discovered paths whatever the store holds.
    ExpectItems(builder, ExpectedItems(u"C:\\a.dll\tC:\\b.dll\tC:\\g.dll", u"A\tC:\\b.dll\tG"));
    EXPECT_EQ(config.CountCalls("SetStr"), 0u);
}

TEST(DescribeConfig, EmptyStore) {
    MemoryConfig config;
    RecordingBuilder builder;
    EXPECT_EQ(DescribeConfig(&config, &builder), 1);
    test::Defaults defaults = test::ExpectedDefaults();
#ifdef _WIN32
    ASSERT_FALSE(defaults.midRadio.empty());
    ExpectItems(builder, ExpectedItems(defaults.midRadio + u"\t" + defaults.soundCanvas,
                                       u"MidRadio Player\tSOUND Canvas VA"));
    EXPECT_EQ(config.Text(u"VSTi_x86_01"), ToUtf8(defaults.midRadio));
    EXPECT_EQ(config.Text(u"VSTi_x86_02_Desc"), "SOUND Canvas VA");
#else
    // No Program Files folder: empty (not null) lists and no preset written.
    ExpectItems(builder, ExpectedItems(u"", u""));
    EXPECT_TRUE(config.values.empty());
#endif
}

// Spelled out once without the translation above: each build's page names
// its own keys and architecture, and never the other build's keys.
TEST(DescribeConfig, NamesTheBuildsOwnArchitecture) {
    MemoryConfig config;
    RecordingBuilder builder;
    DescribeConfig(&config, &builder);
    ASSERT_EQ(builder.items.size(), 69u);
    const std::string self = test::kBuild64 ? "x64" : "x86";
    const std::string other = test::kBuild64 ? "x86" : "x64";
    EXPECT_EQ(Show(builder.items[0].fields[1]), "VSTiPath_" + self);
    EXPECT_EQ(Show(builder.items[0].fields[2]), "VSTi のパス(" + self + ")");
    const std::string sentence =
        "動作中の tavren.hmx は " + self + " 版です。" + other + " 版の VSTi プラグインは使用出来ません。";
    EXPECT_NE(Show(builder.items[0].fields[8]).find("\r\n" + sentence + "\r\n"), std::string::npos);
    EXPECT_NE(Show(builder.items[8].fields[8]).find(sentence), std::string::npos);
    EXPECT_EQ(Show(builder.items[67].fields[1]), "VSTi_" + self + "_10_Cache");
    EXPECT_EQ(Show(builder.items[67].fields[2]), "VSTi_" + self + "_10(キャッシュ)");
    EXPECT_EQ(Show(builder.items[68].fields[1]), "VSTiBridge_" + self);
    for (const test::RecordedItem& item : builder.items)
        for (int f = 1; f <= 3; ++f)
            EXPECT_EQ(Show(item.fields[f]).find("_" + other), std::string::npos) << Show(item.fields[f]);
}

TEST(DescribeConfig, NullConfigMakesNoCallsAndStillDescribes) {
    auto* null = new AxHmxNullConfig();
    RecordingBuilder builder;
    EXPECT_EQ(DescribeConfig(null, &builder), 1);
    EXPECT_EQ(builder.items.size(), 69u);
    test::Defaults defaults = test::ExpectedDefaults();
    // Nothing can be stored, so the defaults are listed under their paths.
    std::u16string values = defaults.midRadio.empty() ? u"" : defaults.midRadio + u"\t" + defaults.soundCanvas;
    EXPECT_EQ(Show(builder.items[0].fields[6]), ToUtf8(values));
    EXPECT_EQ(Show(builder.items[0].fields[7]), ToUtf8(values));
    null->Release();
}

}  // namespace
}  // namespace tavren
