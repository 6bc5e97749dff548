#include "config/page.h"

#include "config/arch.h"
#include "config/format_key.h"
#include "config/settings.h"
#include "platform/text.h"

namespace tavren {

namespace {

constexpr size_t kPageKeyChars = 64;

#define CRLF u"\r\n"

const char16_t kHelpPath[] =
    u"VSTi プラグインのパスを指定します。(" TAVREN_ARCH u")" CRLF
    TAVREN_ARCH_SENTENCE CRLF
    CRLF
    u"動作確認済 VSTi プラグイン" CRLF
    CRLF
    u"・MidRadio Player (SGP2.dll)(x86)(x64 版の tavren_x64.hmx では使用不可)" CRLF
    u"    https://midradio.jp/" CRLF
    u"・SOUND Canvas VA(製品版) (SOUND Canvas VA.dll)(x86/x64)" CRLF
    u"    https://www.roland.com/jp/products/rc_sound_canvas_va/" CRLF
    u"・Yamaha S-YXG50 Portable VSTi (syxg50.dll)(x86)(x64 版の tavren_x64.hmx では使用不可)" CRLF
    u"    https://veg.by/en/projects/syxg50/" CRLF
    u"・VSTSynthFont (VSTSynthFont.dll(x86) / VSTSynthFont64.dll(x64))" CRLF
    u"    https://www.synthfont.com/Downloads.html" CRLF
    CRLF
    u"その他の VSTi プラグインを使用することも出来ますが、全ての VSTi プラグインが動作するとは限りません。" CRLF;

const char16_t kHelpShowEditor[] =
    u"VSTi プラグインの設定画面を開きます。開くのは再生中だけです。" CRLF
    u"「VSTi 情報」を表示時、\"flags\" に \"HasEditor\" を含まないと設定画面は表示されません。" CRLF
    CRLF
    u"本体の動作の仕様上、画面上での設定変更が再生に反映されるまで時間がかかります。" CRLF
    u"レベルメータのようなものがある場合、実際の再生より先行して表示されます。" CRLF
    u"設定変更が反映されるまでの時間やレベルメータの表示のずれは、" CRLF
    u"本体の「先読みバッファのサイズ」とデバイス設定の「再生バッファサイズ」" CRLF
    u"を小さくすると軽減されますが、「先読みバッファのサイズ」をあまり小さくするとギャップレス再生が出来なくなるなどの弊害があるため注意が必要です。";

const char16_t kHelpInfo[] =
    u"VSTi プラグインの情報を表示します。" CRLF
    u"\"flags\" のところに \"HasEditor\" を含まないと設定画面は表示されません。";

const char16_t kHelpReload[] =
    u"VSTi プラグインをリロードします。" CRLF
    u"演奏がおかしくなった場合などに実行してみて下さい。";

const char16_t kHelpSampleRate[] =
    u"本体からの要求が 0 のときの再生周波数" CRLF
    u"負の値を指定すると本体からの要求を無視します。" CRLF
    CRLF
    u"VSTi プラグインによって対応する再生周波数が異なります。" CRLF
    CRLF;

const char16_t kHelpVolume[] =
    u"VSTi プラグイン間の音量が異なる場合の調整用です。" CRLF
    u"100 より大きいと音が割れる可能性があります。" CRLF
    u"音量が最も小さいプラグインを 100 として、それより音量が大きいプラグインの値を " CRLF
    u"100 より小さくするような調整をお勧めします。" CRLF
    u"80.5, 125.5 のように実数値で指定することが出来ます。" CRLF;

const char16_t kHelpReset[] =
    u"演奏開始時に送信するリセット系システムエクスクルーシブを指定します。" CRLF
    CRLF
    u"0: GM SYSTEM ON" CRLF
    u"1: GM2 SYSTEM ON" CRLF
    u"2: XG SYSTEM ON" CRLF
    u"3: GS RESET" CRLF
    CRLF
    u"GM SYSTEM ON 以外を指定しても、GM SYSTEM ON は常に最初に送信します。" CRLF
    u"リセットを含む曲の場合、(VSTi プラグインが受信すれば)そちらが有効となります。" CRLF
    u"XG SYSTEM ON を含む曲の場合、GS RESET や GM2 SYSTEM ON を指定しても送信しません。" CRLF
    u"(XG SYSTEM ON を受信せず、GS RESET を受信する場合に演奏がおかしくなるため)" CRLF
    CRLF
    u"VSTi プラグインによっては指定の音源リセットを受信しないことがあります。";

const char16_t kHelpCache[] =
    u"true にすると曲を閉じる際に VSTi プラグインをキャッシュします。(最大4個)" CRLF
    u"初期化に時間がかかるプラグインでの曲の切り替えが高速になりますが、" CRLF
    u"曲切り替え時に前回使用したプラグインを使い回す為、音源リセットが利かない" CRLF
    u"プラグインでは再生を繰り返すうちに不自然になります。" CRLF
    CRLF
    u"false にすると曲を閉じる際に VSTi プラグインをキャッシュしません。" CRLF
    u"初期化に時間がかかるプラグインでの曲の切り替えが低速になりますが、" CRLF
    u"プラグインを使い回さない為、再生を繰り返しても不自然になることは" CRLF
    u"なくなる筈です。" CRLF;

const char16_t kHelpPresetPath[] =
    u"良く使う VSTi プラグインのパスと設定をプリセットに登録します。" CRLF
    u"プリセットに登録することで「VSTi のパス」の一覧に表示されるようになります。" CRLF
    u"プラグインごとに再生周波数、音量、音源リセット、キャッシュを設定することが出来ます。" CRLF
    TAVREN_ARCH_SENTENCE CRLF;

const char16_t kHelpPresetName[] = u"「VSTi のパス」の一覧に表示する際の表示名です。";

const char16_t kHelpBridge[] =
    u"VSTi プラグインを本体とは別のプロセスで動作させます。" CRLF
    CRLF
    u"0: 別のプロセスは使用しません。(" TAVREN_OTHER_ARCH u" 版の VSTi プラグインは使用出来ません)" CRLF
    u"1: " TAVREN_OTHER_ARCH u" 版の VSTi プラグインだけを別のプロセス (tavren_host_" TAVREN_OTHER_ARCH
    u".exe) で動作させます。" TAVREN_ARCH u" 版の VSTi プラグインはこれまで通り本体のプロセスで動作します。" CRLF
    u"2: すべての VSTi プラグインを別のプロセスで動作させます。" CRLF
    CRLF
    u"別のプロセスで動作する VSTi プラグインが異常終了したり応答しなくなったりしても、本体は終了しません。" CRLF
    u"その代わり、音声とイベントのやり取りのために処理の負荷が少し増え、曲を開く時間が少し長くなります。" CRLF
    u"tavren_host_x86.exe と tavren_host_x64.exe は tavren.hmx と同じフォルダに置いて下さい。";

#undef CRLF

const char16_t kDllFilter[] = u"DLL File(*.dll)\t*.dll";
const char16_t kRateChoices[] =
    u"44100\t48000\t88200\t96000\t176400\t192000\t-44100\t-48000\t-88200\t-96000\t-176400\t-192000";
const char16_t kResetChoices[] = u"0\t1\t2\t3";
const char16_t kResetLabels[] = u"GM SYSTEM ON\tGM2 SYSTEM ON\tXG SYSTEM ON\tGS RESET";
const char16_t kBridgeChoices[] = u"0\t1\t2";
const char16_t kBridgeLabels[] = u"使用しない\t" TAVREN_OTHER_ARCH u" 版の VSTi のみ\tすべての VSTi";

// Global items 2 .. 8; item 1 (the path) carries the preset lists.
const HmxConfigItem kGlobalItems[] = {
    {HmxItemBool, kSectionGeneral, kKeyShowEditor, u"VSTi 設定", u"0", nullptr, nullptr, nullptr, nullptr,
     kHelpShowEditor},
    {HmxItemCommand, kSectionGeneral, u"Info", u"VSTi 情報", nullptr, nullptr, nullptr, nullptr, nullptr,
     kHelpInfo},
    {HmxItemCommand, kSectionGeneral, u"Reload", u"VSTi をリロード", nullptr, nullptr, nullptr, nullptr, nullptr,
     kHelpReload},
    {HmxItemInt, kSectionGeneral, kKeySampleRate, u"再生周波数", u"44100", nullptr, nullptr, kRateChoices, nullptr,
     kHelpSampleRate},
    {HmxItemFloat, kSectionGeneral, kKeyVolume, u"音量(%)", u"100.0", u"0.0", u"400.0", nullptr, nullptr,
     kHelpVolume},
    {HmxItemInt, kSectionGeneral, kKeyReset, u"音源リセット", u"3", nullptr, nullptr, kResetChoices, kResetLabels,
     kHelpReset},
    {HmxItemBool, kSectionGeneral, kKeyCache, u"キャッシュ", u"1", nullptr, nullptr, nullptr, nullptr, kHelpCache},
};

// The preset items by PresetFieldTable row; key, label and default are
// filled per preset.
const HmxConfigItem kPresetItems[PresetFieldCount] = {
    {HmxItemFile, kSectionGeneral, nullptr, nullptr, nullptr, kDllFilter, nullptr, nullptr, nullptr,
     kHelpPresetPath},
    {HmxItemString, kSectionGeneral, nullptr, nullptr, nullptr, nullptr, u"256", nullptr, nullptr, kHelpPresetName},
    {HmxItemInt, kSectionGeneral, nullptr, nullptr, nullptr, nullptr, nullptr, kRateChoices, nullptr,
     kHelpSampleRate},
    {HmxItemFloat, kSectionGeneral, nullptr, nullptr, nullptr, u"0.0", u"400.0", nullptr, nullptr, kHelpVolume},
    {HmxItemInt, kSectionGeneral, nullptr, nullptr, nullptr, nullptr, nullptr, kResetChoices, kResetLabels,
     kHelpReset},
    {HmxItemBool, kSectionGeneral, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, kHelpCache},
};

void AddPresetItems(IHmxConfigBuilder* builder, int number) {
    char16_t defaultPath[kPathChars] = {};
    const char16_t* defaultName = u"";
    if (number == 1) {
        LocateMidRadioPlayer(defaultPath);
        defaultName = kMidRadioPlayerName;
    } else if (number == 2) {
        LocateSoundCanvasVa(defaultPath);
        defaultName = kSoundCanvasVaName;
    }
    char16_t key[kPageKeyChars];
    char16_t label[kPageKeyChars];
    for (int row = 0; row < PresetFieldCount; ++row) {
        const PresetField& field = PresetFieldTable[row];
        HmxConfigItem item = kPresetItems[row];
        FormatKey(key, kPageKeyChars, kPresetKeyFormat, kPresetPrefix, number, field.suffix);
        FormatKey(label, kPageKeyChars, u"%s_%02d(%s)", kPresetPrefix, number, field.labelPiece);
        item.key = key;
        item.label = label;
        item.defaultValue = row == PresetPath ? defaultPath : row == PresetDesc ? defaultName : field.defaultText;
        builder->AddItem(&item);
    }
}

}  // namespace

const HmxConfigSection SectionTable[] = {
    {kSectionGeneral, nullptr, u"tavren.hmx に関する一般的な設定です。"},
    {nullptr, nullptr, nullptr},
};

int32_t DescribeConfig(IHmxConfig* config, IHmxConfigBuilder* builder) {
    char16_t values[kPresetListChars];
    char16_t labels[kPresetListChars];
    BuildPresetLists(config, values, labels);

    for (const HmxConfigSection* section = SectionTable; section->key; ++section) builder->AddSection(section);

    HmxConfigItem path = {HmxItemFile, kSectionGeneral, kKeyVstiPath, u"VSTi のパス(" TAVREN_ARCH u")", u"",
                          kDllFilter, nullptr, values, labels, kHelpPath};
    builder->AddItem(&path);
    for (const HmxConfigItem& item : kGlobalItems) builder->AddItem(&item);

    for (int number = 1; number <= PresetCount; ++number) AddPresetItems(builder, number);

    // After every other item, so that none of them moves.
    const HmxConfigItem bridge = {HmxItemInt, kSectionGeneral, kKeyBridge, u"VSTi を別プロセスで動作(" TAVREN_ARCH u")",
                                  u"0", nullptr, nullptr, kBridgeChoices, kBridgeLabels, kHelpBridge};
    builder->AddItem(&bridge);
    return 1;
}

}  // namespace tavren
