// An IHmxConfigBuilder that records what the plug-in declares as text, one
// line per record, fields separated by tabs.
#pragma once

#include <string>

#include "frame/host_interface.h"

namespace hmxplay {

class ConfigPrinter final : public tavren::IHmxConfigBuilder {
public:
    tavren::HmxResult HMX_CALL QueryInterface(const tavren::HmxGuid& iid, void** out) override;
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }  // lives on hmxplay's stack
    int32_t HMX_CALL AddSection(const tavren::HmxConfigSection* section) override;
    int32_t HMX_CALL AddItem(const tavren::HmxConfigItem* item) override;

    const std::string& Lines() const { return lines; }

private:
    std::string lines;
};

}  // namespace hmxplay
