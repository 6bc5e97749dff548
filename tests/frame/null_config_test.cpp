#include <gtest/gtest.h>

#include <cstring>

#include "frame/null_config.h"
#include "test_hosts.h"

namespace tavren {
namespace {

TEST(NullConfig, GetStrCutsToTheBufferAndCountsTheWholeDefault) {
    AxHmxNullConfig* config = new AxHmxNullConfig();
    HmxChar buffer[4] = {u'x', u'x', u'x', u'x'};
    // A 4-byte buffer holds one character and the terminator.
    EXPECT_EQ(config->GetStr(u"General", u"Key", buffer, 4, u"abc"), 8u);
    EXPECT_EQ(buffer[0], u'a');
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(buffer[2], u'x') << "nothing beyond the given size is written";
    EXPECT_EQ(config->GetStr(u"General", u"Key", buffer, 8, u"abc"), 8u);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(config->GetStr(u"General", u"Key", buffer, 8, u""), 2u);
    EXPECT_EQ(buffer[0], 0);
    config->Release();
}

TEST(NullConfig, ReadsGiveDefaultsAndWritesAreIgnored) {
    AxHmxNullConfig* config = new AxHmxNullConfig();
    config->SetInt(u"General", u"K", 5);
    EXPECT_EQ(config->GetInt(u"General", u"K", -7), -7);
    config->SetFloat(u"General", u"K", 5.0);
    EXPECT_EQ(config->GetFloat(u"General", u"K", 2.5), 2.5);
    uint8_t bin[6];
    std::memset(bin, 0xAA, sizeof bin);
    EXPECT_EQ(config->GetBin(u"General", u"K", bin, 5), 0u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(bin[i], 0);
    EXPECT_EQ(bin[5], 0xAA);
    config->Release();
}

TEST(NullConfig, IsRecognisedByTypeOnly) {
    AxHmxNullConfig* null = new AxHmxNullConfig();
    auto* other = new testing::CountingConfig();
    EXPECT_TRUE(IsNullConfig(null));
    EXPECT_FALSE(IsNullConfig(other));
    EXPECT_FALSE(IsNullConfig(nullptr));
    void* out = nullptr;
    EXPECT_EQ(null->QueryInterface(kIidHmxConfig, &out), kHmxOk);
    EXPECT_EQ(out, static_cast<IHmxConfig*>(null));
    EXPECT_EQ(null->Release(), 1);
    EXPECT_EQ(null->Release(), 0);
    other->Release();
}

}  // namespace
}  // namespace tavren
