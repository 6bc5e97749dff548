#include <gtest/gtest.h>

#include <cstring>

#include "arch_text.h"
#include "frame/module.h"
#include "frame/module_state.h"
#include "frame/null_config.h"
#include "test_hosts.h"

namespace tavren {
namespace {

using testing::CountingConfig;
using testing::TestHost;

IHmxDecoderModule* CreateModule(IUnknown* host) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateModuleInstance(&kIidHmxDecoderModule, &out, host), kHmxOk);
    return static_cast<IHmxDecoderModule*>(out);
}

TEST(Factory, AnswersOnlyTheModuleInterface) {
    TestHost host(true, nullptr);
    for (const HmxGuid* iid : {&kIidUnknown, &kIidHmxDecoder, &kIidHmxConfig}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateModuleInstance(iid, &out, &host), kHmxNoInterface);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(ModuleCount.load(), 0);
    EXPECT_EQ(host.factoryCalls, 0);
}

TEST(Factory, TakesTheHostsConfigAndReleasesTheFactory) {
    auto* config = new CountingConfig();
    TestHost host(true, config);
    IHmxDecoderModule* module = CreateModule(&host);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(host.factoryCalls, 1);
    EXPECT_TRUE(host.lastIidWasConfig);
    EXPECT_EQ(host.refs, 1) << "the factory reference must be released";
    EXPECT_EQ(config->References(), 2) << "ours and the module's";
    EXPECT_EQ(module->Release(), 0);
    EXPECT_EQ(config->References(), 1);
    config->Release();
}

TEST(Factory, FallsBackToTheNullConfigWithoutFactoryOrConfig) {
    for (bool withFactory : {false, true}) {
        TestHost host(withFactory, nullptr);
        IHmxDecoderModule* module = CreateModule(&host);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(host.factoryCalls, withFactory ? 1 : 0);
        // The module works on defaults: an apply stores nothing and says so.
        EXPECT_EQ(module->ApplyConfig(u"General", test::ForThisBuild(u"Volume_x86").c_str(), 0, 0, 0, 0, u"50"), 0);
        EXPECT_EQ(module->Release(), 0);
        EXPECT_EQ(host.refs, 1);
    }
}

TEST(Factory, NullOutPointerIsRefused) {
    TestHost host(true, nullptr);
    EXPECT_EQ(CreateModuleInstance(&kIidHmxDecoderModule, nullptr, &host), kHmxInvalidArg);
    EXPECT_EQ(ModuleCount.load(), 0);
}

TEST(Module, QueryInterfaceAndReferenceCounting) {
    TestHost host(false, nullptr);
    IHmxDecoderModule* module = CreateModule(&host);
    void* out = nullptr;
    EXPECT_EQ(module->QueryInterface(kIidUnknown, &out), kHmxOk);
    EXPECT_EQ(out, module);
    EXPECT_EQ(module->QueryInterface(kIidHmxDecoderModule, &out), kHmxOk);
    EXPECT_EQ(out, module);
    EXPECT_EQ(module->AddRef(), 4);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(module->QueryInterface(kIidHmxDecoder, &out), kHmxNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(module->QueryInterface(kIidUnknown, nullptr), kHmxInvalidArg);
    EXPECT_EQ(module->Release(), 3);
    EXPECT_EQ(module->Release(), 2);
    EXPECT_EQ(module->Release(), 1);
    EXPECT_EQ(ModuleCount.load(), 1);
    EXPECT_EQ(module->Release(), 0);
    EXPECT_EQ(ModuleCount.load(), 0);
}

TEST(Module, TwoModulesShareTheLockUntilTheLastGoes) {
    TestHost host(false, nullptr);
    IHmxDecoderModule* first = CreateModule(&host);
    IHmxDecoderModule* second = CreateModule(&host);
    EXPECT_EQ(ModuleCount.load(), 2);
    first->Release();
    EXPECT_EQ(ModuleCount.load(), 1);
    {
        // Still usable: the first release must not have deleted it.
        platform::LockGuard guard(HostLock);
    }
    second->Release();
    EXPECT_EQ(ModuleCount.load(), 0);
}

TEST(Module, ApplyConfigPassesOnlyTheGeneralSection) {
    auto* config = new CountingConfig();
    TestHost host(true, config);
    IHmxDecoderModule* module = CreateModule(&host);
    int before = config->calls;
    EXPECT_EQ(module->ApplyConfig(u"general", test::ForThisBuild(u"Volume_x86").c_str(), 0, 0, 0, 0, u"50"), 0);
    EXPECT_EQ(module->ApplyConfig(u"GENERAL", u"Reload", 0, 0, 0, 0, u""), 0);
    EXPECT_EQ(module->ApplyConfig(nullptr, u"Reload", 0, 0, 0, 0, u""), 0);
    EXPECT_EQ(config->calls, before) << "another section must change nothing";
    module->Release();
    config->Release();
}

template <typename T>
T At(const HmxModuleInfo* info, size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const uint8_t*>(info) + offset, sizeof value);
    return value;
}

TEST(Module, ModuleInfoBytesAtTheirOffsets) {
    TestHost host(false, nullptr);
    IHmxDecoderModule* module = CreateModule(&host);
    HmxModuleInfo* info = nullptr;
    module->GetModuleInfo(&info);
    ASSERT_NE(info, nullptr);
    HmxModuleInfo* again = nullptr;
    module->GetModuleInfo(&again);
    EXPECT_EQ(info, again) << "the address stays valid while the module lives";
    EXPECT_EQ(At<uint32_t>(info, 0), sizeof(HmxModuleInfo));
    EXPECT_EQ(At<uint32_t>(info, 4), 200u);
    EXPECT_EQ(At<uint32_t>(info, 8), 12u);
    EXPECT_EQ(At<uint32_t>(info, 12), 0u);
    const uint8_t guid[16] = {0x43, 0xBF, 0xA7, 0x93, 0x0A, 0x6C, 0xD3, 0x4B,
                              0xAB, 0x10, 0xA1, 0x01, 0xAD, 0x7D, 0x78, 0x29};
    EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t*>(info) + 16, guid, 16), 0);
    const size_t p = sizeof(void*);
    auto text = [&](size_t offset) { return std::u16string(At<const HmxChar*>(info, offset)); };
    EXPECT_EQ(text(32), u"REVo RAVU Vazazuz v0.12 based on hmx_vsti.hmx v1.01");
    EXPECT_FALSE(text(32 + p).empty());
    EXPECT_EQ(text(32 + 2 * p), u".mid");
    EXPECT_EQ(text(32 + 3 * p), u"");
    const size_t tail = 32 + 4 * p;
    EXPECT_EQ(At<uint32_t>(info, tail), 0u);
    EXPECT_EQ(At<uint32_t>(info, tail + 4), 0u);
    EXPECT_EQ(At<uint32_t>(info, tail + 8), 0u);
    EXPECT_EQ(At<uint32_t>(info, tail + 12), 1u);
    for (size_t k = tail + 16; k < sizeof(HmxModuleInfo); ++k)
        EXPECT_EQ(reinterpret_cast<uint8_t*>(info)[k], 0) << "byte " << k;
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(HmxModuleInfo), 80u);
        EXPECT_EQ(tail + 12, 60u);
    }
    module->Release();
}

}  // namespace
}  // namespace tavren
