// The configuration page as a fuzz target sees it: DescribeConfig's records
// counted and the items' keys kept, with the choices offered for the path.
//   PageRecord    the builder handed to DescribeConfig
//   ListEntries   the entries of a tab-separated list ("" has none)
// In namespace tavren, so that the settings target's 64-bit compile moves it
// along with the plug-in's code.
#pragma once

#include <string>
#include <vector>

#include "frame/host_interface.h"

namespace tavren::fuzz {

class PageRecord final : public IHmxConfigBuilder {
public:
    int sections = 0;
    int itemsWithoutTexts = 0;  // no key, section, label or help
    std::vector<std::u16string> keys;
    std::u16string pathChoices;  // the first item's choice values ("<null>" for none)

    HmxResult HMX_CALL QueryInterface(const HmxGuid&, void** out) override {
        *out = nullptr;
        return kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }
    int32_t HMX_CALL AddSection(const HmxConfigSection*) override { return ++sections; }
    int32_t HMX_CALL AddItem(const HmxConfigItem* item) override {
        if (!item->key || !item->section || !item->label || !item->help) {
            ++itemsWithoutTexts;
            return 1;
        }
        if (keys.empty()) pathChoices = item->choiceValues ? item->choiceValues : u"<null>";
        keys.emplace_back(item->key);
        return 1;
    }
};

inline size_t ListEntries(const char16_t* list) {
    if (!list[0]) return 0;
    size_t n = 1;
    for (const char16_t* p = list; *p; ++p) n += *p == u'\t';
    return n;
}

}  // namespace tavren::fuzz
