#include <gtest/gtest.h>

#include <string>

#include "config/compare_no_case.h"
#include "config/format_key.h"

namespace tavren {
namespace {

std::u16string Text(const char16_t* buffer) { return std::u16string(buffer); }

TEST(FormatKey, BuildsPresetKeysAndLabels) {
    char16_t buffer[64];
    EXPECT_EQ(FormatKey(buffer, 64, u"%s_%02d%s", u"VSTi_x86", 3, u"_Rate"), 16);
    EXPECT_EQ(Text(buffer), u"VSTi_x86_03_Rate");
    EXPECT_EQ(FormatKey(buffer, 64, u"%s_%02d%s", u"VSTi_x86", 10, u""), 11);
    EXPECT_EQ(Text(buffer), u"VSTi_x86_10");
    FormatKey(buffer, 64, u"%s_%02d(%s)", u"VSTi_x86", 3, u"再生周波数");
    EXPECT_EQ(Text(buffer), u"VSTi_x86_03(再生周波数)");
}

TEST(FormatKey, IntegerDirectives) {
    char16_t buffer[64];
    FormatKey(buffer, 64, u"%d|%d|%02d|%02d|%5d|%-4d|", -2147483647 - 1, 0, 7, -7, 42, 9);
    EXPECT_EQ(Text(buffer), u"-2147483648|0|07|-7|   42|9   |");
    // The window-class pattern: low 32 bits for %08x, all 64 for %016llx.
    FormatKey(buffer, 64, u"tavren.hmx:%08x:%016llx", 0xABCu, 0x0123456789ABCDEFull);
    EXPECT_EQ(Text(buffer), u"tavren.hmx:00000abc:0123456789abcdef");
    FormatKey(buffer, 64, u"%08x %X %u", -1, 0xBEEFu, 4000000000u);
    EXPECT_EQ(Text(buffer), u"ffffffff BEEF 4000000000");
    // %d of a 64-bit argument takes the low 32 bits, as an int argument would be.
    FormatKey(buffer, 64, u"%d %lld", 0x100000005ll, -5000000000ll);
    EXPECT_EQ(Text(buffer), u"5 -5000000000");
}

TEST(FormatKey, CharactersPercentAndMissingArguments) {
    char16_t buffer[64];
    EXPECT_EQ(FormatKey(buffer, 64, u"%c%c 100%% %s", u'あ', 'A', static_cast<const char16_t*>(nullptr)), 8);
    EXPECT_EQ(Text(buffer), u"あA 100% ");
    // A directive without an argument, or with one of the wrong kind, prints nothing.
    FormatKey(buffer, 64, u"[%s][%d][%s]", 5, u"x");
    EXPECT_EQ(Text(buffer), u"[][][]");
    FormatKey(buffer, 64, u"%q%");
    EXPECT_EQ(Text(buffer), u"%q%");
}

TEST(FormatKey, TruncatesAndGivesMinusOne) {
    char16_t buffer[8];
    for (char16_t& c : buffer) c = u'#';
    // Seven characters fit with the terminator: not a truncation.
    EXPECT_EQ(FormatKey(buffer, 8, u"%s", u"1234567"), 7);
    EXPECT_EQ(Text(buffer), u"1234567");
    EXPECT_EQ(FormatKey(buffer, 8, u"%s", u"12345678"), -1);
    EXPECT_EQ(Text(buffer), u"1234567");
    EXPECT_EQ(FormatKey(buffer, 4, u"%s_%02d", u"VSTi_x86", 1), -1);
    EXPECT_EQ(Text(buffer), u"VST");
    EXPECT_EQ(buffer[4], u'5') << "nothing written past the capacity";
    EXPECT_EQ(FormatKey(buffer, 1, u"x"), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(FormatKey(buffer, 1, u""), 0);
    buffer[0] = u'#';
    EXPECT_EQ(FormatKey(buffer, 0, u""), -1);
    EXPECT_EQ(buffer[0], u'#');
}

TEST(CompareNoCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(CompareNoCase(u"C:\\Program Files\\A.DLL", u"c:\\program files\\a.dll"), 0);
    EXPECT_TRUE(EqualsNoCase(u"SOUND Canvas VA", u"sound canvas va"));
    // Full-width and accented letters are not folded.
    EXPECT_FALSE(EqualsNoCase(u"Ａ", u"ａ"));
    EXPECT_FALSE(EqualsNoCase(u"É", u"é"));
    // '[' (0x5B) lies between 'Z' and 'a': lower-case folding puts it before letters.
    EXPECT_GT(CompareNoCase(u"a", u"["), 0);
    EXPECT_LT(CompareNoCase(u"ab", u"ABC"), 0);
    EXPECT_FALSE(EqualsNoCase(u"", u"a"));
    EXPECT_TRUE(EqualsNoCase(nullptr, u""));
}

TEST(CompareNoCase, FindTextIsExact) {
    EXPECT_EQ(FindText(u"VSTi_x86_04_Vol", u"_Vol"), 11);
    EXPECT_EQ(FindText(u"VSTi_x86_04_vol", u"_Vol"), -1);
    EXPECT_EQ(FindText(u"Volume_", u"_Vol"), -1);
    EXPECT_EQ(FindText(u"_Rate_Rate", u"_Rate"), 0);
    EXPECT_EQ(FindText(u"_Ra", u"_Rate"), -1);
}

}  // namespace
}  // namespace tavren
