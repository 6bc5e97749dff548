// Host-side objects for the module tests: a settings store that counts its
// calls, and host objects with and without a factory.
#pragma once

#include <map>
#include <string>

#include "frame/host_interface.h"
#include "frame/unknown_impl.h"
#include "platform/text.h"

namespace tavren::testing {

class CountingConfig final : public AxHmxUnknownImpl<IHmxConfig> {
public:
    int calls = 0;
    std::map<std::u16string, std::u16string> values;

    int32_t HMX_CALL SetInt(const HmxChar*, const HmxChar* key, int64_t v) override {
        ++calls;
        values[key] = FromUtf8(std::to_string(v));
        return 1;
    }
    int64_t HMX_CALL GetInt(const HmxChar*, const HmxChar* key, int64_t def) override {
        ++calls;
        auto it = values.find(key);
        return it == values.end() ? def : std::stoll(ToUtf8(it->second));
    }
    int32_t HMX_CALL SetFloat(const HmxChar*, const HmxChar*, double) override { return ++calls, 1; }
    double HMX_CALL GetFloat(const HmxChar*, const HmxChar* key, double def) override {
        ++calls;
        auto it = values.find(key);
        return it == values.end() ? def : std::stod(ToUtf8(it->second));
    }
    int32_t HMX_CALL SetStr(const HmxChar*, const HmxChar* key, const HmxChar* v) override {
        ++calls;
        values[key] = v;
        return 1;
    }
    uint32_t HMX_CALL GetStr(const HmxChar*, const HmxChar* key, HmxChar* buffer, uint32_t size,
                             const HmxChar* def) override {
        ++calls;
        auto it = values.find(key);
        std::u16string v = it == values.end() ? std::u16string(def) : it->second;
        CopyText(buffer, size / 2, v.c_str());
        return static_cast<uint32_t>((v.size() + 1) * 2);
    }
    int32_t HMX_CALL SetBin(const HmxChar*, const HmxChar*, const void*, uint32_t) override { return ++calls, 1; }
    uint32_t HMX_CALL GetBin(const HmxChar*, const HmxChar*, void*, uint32_t) override { return ++calls, 0; }
    int32_t References() {
        AddRef();
        return Release();
    }
};

// A host object; with a factory it hands out config (or nothing when config is null).
class TestHost final : public IHmxInstanceFactory {
public:
    TestHost(bool factory, IHmxConfig* config) : factory(factory), config(config) {}
    int factoryCalls = 0;
    int32_t refs = 1;

    HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) override {
        if (iid == kIidUnknown || (factory && iid == kIidHmxInstanceFactory)) {
            *out = static_cast<IHmxInstanceFactory*>(this);
            ++refs;
            return kHmxOk;
        }
        *out = nullptr;
        return kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return ++refs; }
    int32_t HMX_CALL Release() override { return --refs; }
    HmxResult HMX_CALL CreateInstance(const HmxGuid& iid, const HmxGuid& module, uint32_t a, uint32_t b, uint32_t c,
                                      void** out) override {
        ++factoryCalls;
        lastIidWasConfig = iid == kIidHmxConfig && module == kModuleGuid && a == 0 && b == 0 && c == 0;
        *out = config;
        if (config) config->AddRef();
        return config ? kHmxOk : kHmxNoInterface;
    }
    bool lastIidWasConfig = false;

private:
    bool factory;
    IHmxConfig* config;
};

}  // namespace tavren::testing
