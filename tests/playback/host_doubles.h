// The host player's side, as the playback tests need it:
//   MemoryStore  a settings store of key -> text whose GetInt/GetFloat parse
//                the stored text as the host player does; reference counted
//                and locked, so decoders on several threads can share it and
//                a test can see every reference given back
//   MemoryFile   an IHmxFile over a byte vector whose GetBuffer can be made to fail
//   TestHost     the host object handed to the factory: gives out the store
#pragma once

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "arch_text.h"
#include "frame/host_interface.h"
#include "platform/text.h"

namespace tavren::test {

class MemoryStore final : public IHmxConfig {
public:
    // Keys named as in the 32-bit build: "_x86" reads "_x64" in the 64-bit one.
    void Put(const std::u16string& key, const std::u16string& value) {
        std::lock_guard<std::mutex> guard(lock_);
        values_[u"General/" + ForThisBuild(key)] = value;
    }
    int32_t references() const { return references_.load(); }

    HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) override {
        *out = nullptr;
        if (iid != kIidHmxConfig && iid != kIidUnknown) return kHmxNoInterface;
        AddRef();
        *out = this;
        return kHmxOk;
    }
    // Lives on the test's stack: the count is only watched, never frees.
    int32_t HMX_CALL AddRef() override { return ++references_; }
    int32_t HMX_CALL Release() override { return --references_; }

    int32_t HMX_CALL SetInt(const HmxChar* section, const HmxChar* key, int64_t value) override {
        std::string text = std::to_string(value);
        Store(section, key, std::u16string(text.begin(), text.end()));
        return 1;
    }
    int64_t HMX_CALL GetInt(const HmxChar* section, const HmxChar* key, int64_t def) override {
        std::string text;
        if (!Find(section, key, text)) return def;
        char* end = nullptr;
        long long value = std::strtoll(text.c_str(), &end, 10);
        return end == text.c_str() ? def : value;
    }
    int32_t HMX_CALL SetFloat(const HmxChar* section, const HmxChar* key, double value) override {
        std::string text = std::to_string(value);
        Store(section, key, std::u16string(text.begin(), text.end()));
        return 1;
    }
    double HMX_CALL GetFloat(const HmxChar* section, const HmxChar* key, double def) override {
        std::string text;
        if (!Find(section, key, text)) return def;
        char* end = nullptr;
        double value = std::strtod(text.c_str(), &end);
        return end == text.c_str() ? def : value;
    }
    int32_t HMX_CALL SetStr(const HmxChar* section, const HmxChar* key, const HmxChar* value) override {
        Store(section, key, value);
        return 1;
    }
    uint32_t HMX_CALL GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                             const HmxChar* def) override {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = values_.find(std::u16string(section) + u"/" + key);
        std::u16string text = it == values_.end() ? std::u16string(def ? def : u"") : it->second;
        CopyText(buffer, sizeBytes / 2, text.c_str());
        return static_cast<uint32_t>((text.size() + 1) * 2);
    }
    int32_t HMX_CALL SetBin(const HmxChar*, const HmxChar*, const void*, uint32_t) override { return 1; }
    uint32_t HMX_CALL GetBin(const HmxChar*, const HmxChar*, void*, uint32_t) override { return 0; }

private:
    void Store(const HmxChar* section, const HmxChar* key, std::u16string value) {
        std::lock_guard<std::mutex> guard(lock_);
        values_[std::u16string(section) + u"/" + key] = std::move(value);
    }
    bool Find(const HmxChar* section, const HmxChar* key, std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = values_.find(std::u16string(section) + u"/" + key);
        if (it == values_.end()) return false;
        text = ToUtf8(it->second);
        return true;
    }

    std::mutex lock_;
    std::map<std::u16string, std::u16string> values_;
    std::atomic<int32_t> references_{1};
};

class MemoryFile final : public IHmxFile {
public:
    explicit MemoryFile(std::vector<uint8_t> bytes, bool readable = true)
        : bytes_(std::move(bytes)), readable_(readable) {}
    int bufferCalls() const { return bufferCalls_; }

    HmxResult HMX_CALL QueryInterface(const HmxGuid&, void** out) override {
        *out = nullptr;
        return kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }
    int32_t HMX_CALL Reserved1() override { return 0; }
    int32_t HMX_CALL Reserved2() override { return 0; }
    int32_t HMX_CALL Reserved3() override { return 0; }
    int32_t HMX_CALL Reserved4() override { return 0; }
    int32_t HMX_CALL Reserved5() override { return 0; }
    int32_t HMX_CALL Reserved6() override { return 0; }
    int32_t HMX_CALL Reserved7() override { return 0; }
    int32_t HMX_CALL GetBuffer(const uint8_t** data, uint32_t* size) override {
        ++bufferCalls_;
        if (!readable_) return 0;
        *data = bytes_.data();
        *size = static_cast<uint32_t>(bytes_.size());
        return 1;
    }

private:
    std::vector<uint8_t> bytes_;
    bool readable_;
    int bufferCalls_ = 0;
};

class TestHost final : public IHmxInstanceFactory {
public:
    explicit TestHost(MemoryStore* store) : store_(store) {}

    HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) override {
        *out = nullptr;
        if (iid != kIidHmxInstanceFactory) return kHmxNoInterface;
        *out = static_cast<IHmxInstanceFactory*>(this);
        return kHmxOk;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }
    HmxResult HMX_CALL CreateInstance(const HmxGuid& iid, const HmxGuid&, uint32_t, uint32_t, uint32_t,
                                      void** out) override {
        return store_->QueryInterface(iid, out);
    }

private:
    MemoryStore* store_;
};

}  // namespace tavren::test
