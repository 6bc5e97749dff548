#include "config_printer.h"

#include <string>

#include "platform/text.h"

namespace hmxplay {

using namespace tavren;

static std::string Field(const HmxChar* text) { return text ? EscapeForLine(text) : "<null>"; }

HmxResult ConfigPrinter::QueryInterface(const HmxGuid& iid, void** out) {
    if (!out) return kHmxInvalidArg;
    *out = iid == kIidUnknown ? this : nullptr;
    return *out ? kHmxOk : kHmxNoInterface;
}

int32_t ConfigPrinter::AddSection(const HmxConfigSection* section) {
    if (!section) return 0;
    std::string line = "section\t" + Field(section->key) + "\t" + Field(section->reserved) + "\t" +
                       Field(section->description) + "\n";
    lines += line;
    return 1;
}

int32_t ConfigPrinter::AddItem(const HmxConfigItem* item) {
    if (!item) return 0;
    std::string line = "item\t" + std::to_string(item->type);
    for (const HmxChar* text : {item->section, item->key, item->label, item->defaultValue, item->minimum,
                                item->maximum, item->choiceValues, item->choiceLabels, item->help})
        line += "\t" + Field(text);
    line += "\n";
    lines += line;
    return 1;
}

}  // namespace hmxplay
