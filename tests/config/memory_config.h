// Test doubles for the host player's side of the configuration:
//   MemoryConfig      a store of key -> text whose GetInt/GetFloat parse the
//                     stored text as the host player does, with a log of
//                     every call ("GetStr General VSTiPath_x86", ...); keys
//                     named as in the 32-bit build (arch_text.h)
//   RecordingBuilder  keeps a copy of every section and item handed over
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "arch_text.h"
#include "frame/host_interface.h"
#include "platform/text.h"

namespace tavren::test {

class MemoryConfig : public IHmxConfig {
public:
    std::map<std::u16string, std::u16string> values;  // "Section/Key" -> text
    std::vector<std::string> calls;

    static std::u16string Slot(const HmxChar* section, const HmxChar* key) {
        return std::u16string(section) + u"/" + key;
    }
    // Put, Get and Text name keys as the 32-bit build does (ForThisBuild);
    // `values` and the call log hold the keys as the plug-in used them.
    void Put(const std::u16string& key, const std::u16string& value) {
        values[u"General/" + ForThisBuild(key)] = value;
    }
    std::optional<std::u16string> Get(const std::u16string& key) const {
        auto it = values.find(u"General/" + ForThisBuild(key));
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    // The stored text, "<absent>" when the key was never written.
    std::string Text(const std::u16string& key) const {
        auto value = Get(key);
        return value ? ToUtf8(*value) : "<absent>";
    }
    size_t CountCalls(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& call : calls) n += call.compare(0, prefix.size(), prefix) == 0;
        return n;
    }

    HmxResult HMX_CALL QueryInterface(const HmxGuid&, void** out) override {
        *out = nullptr;
        return kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }

    int32_t HMX_CALL SetInt(const HmxChar* section, const HmxChar* key, int64_t value) override {
        Log("SetInt", section, key);
        std::string text = std::to_string(value);
        values[Slot(section, key)] = std::u16string(text.begin(), text.end());
        return 1;
    }
    int64_t HMX_CALL GetInt(const HmxChar* section, const HmxChar* key, int64_t def) override {
        Log("GetInt", section, key);
        auto it = values.find(Slot(section, key));
        if (it == values.end()) return def;
        std::string text = ToUtf8(it->second);
        char* end = nullptr;
        long long value = std::strtoll(text.c_str(), &end, 10);
        return end == text.c_str() ? def : value;
    }
    int32_t HMX_CALL SetFloat(const HmxChar* section, const HmxChar* key, double value) override {
        Log("SetFloat", section, key);
        std::string text = std::to_string(value);
        values[Slot(section, key)] = std::u16string(text.begin(), text.end());
        return 1;
    }
    double HMX_CALL GetFloat(const HmxChar* section, const HmxChar* key, double def) override {
        Log("GetFloat", section, key);
        auto it = values.find(Slot(section, key));
        if (it == values.end()) return def;
        std::string text = ToUtf8(it->second);
        char* end = nullptr;
        double value = std::strtod(text.c_str(), &end);
        return end == text.c_str() ? def : value;
    }
    int32_t HMX_CALL SetStr(const HmxChar* section, const HmxChar* key, const HmxChar* value) override {
        Log("SetStr", section, key);
        values[Slot(section, key)] = value;
        return 1;
    }
    uint32_t HMX_CALL GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                             const HmxChar* def) override {
        Log("GetStr", section, key);
        auto it = values.find(Slot(section, key));
        const HmxChar* text = it == values.end() ? def : it->second.c_str();
        CopyText(buffer, sizeBytes / 2, text);
        return static_cast<uint32_t>((TextLength(text) + 1) * 2);
    }
    int32_t HMX_CALL SetBin(const HmxChar* section, const HmxChar* key, const void*, uint32_t) override {
        Log("SetBin", section, key);
        return 1;
    }
    uint32_t HMX_CALL GetBin(const HmxChar* section, const HmxChar* key, void*, uint32_t) override {
        Log("GetBin", section, key);
        return 0;
    }

private:
    void Log(const char* op, const HmxChar* section, const HmxChar* key) {
        calls.push_back(std::string(op) + " " + ToUtf8(section) + " " + ToUtf8(key));
    }
};

// Null pointers are kept apart from empty texts.
struct RecordedItem {
    int32_t type;
    std::optional<std::u16string> fields[9];  // section, key, label, default, min, max, values, labels, help
};

class RecordingBuilder : public IHmxConfigBuilder {
public:
    std::vector<std::optional<std::u16string>> sections;  // three fields per AddSection call
    std::vector<RecordedItem> items;
    std::vector<char> order;  // 'S' or 'I' per call

    HmxResult HMX_CALL QueryInterface(const HmxGuid&, void** out) override {
        *out = nullptr;
        return kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }
    int32_t HMX_CALL AddSection(const HmxConfigSection* section) override {
        order.push_back('S');
        sections.push_back(Copy(section->key));
        sections.push_back(Copy(section->reserved));
        sections.push_back(Copy(section->description));
        return 1;
    }
    int32_t HMX_CALL AddItem(const HmxConfigItem* item) override {
        order.push_back('I');
        RecordedItem copy{item->type, {Copy(item->section), Copy(item->key), Copy(item->label),
                                       Copy(item->defaultValue), Copy(item->minimum), Copy(item->maximum),
                                       Copy(item->choiceValues), Copy(item->choiceLabels), Copy(item->help)}};
        items.push_back(copy);
        return 1;
    }

private:
    static std::optional<std::u16string> Copy(const HmxChar* text) {
        if (!text) return std::nullopt;
        return std::u16string(text);
    }
};

}  // namespace tavren::test
