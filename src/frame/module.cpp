#include "frame/module.h"

#include <cstring>
#include <new>

#include "config/apply.h"
#include "config/failure_box.h"
#include "config/page.h"
#include "frame/decoder.h"
#include "frame/module_state.h"
#include "frame/null_config.h"
#include "platform/text.h"
#include "vsthost/host_thread.h"

namespace tavren {

static const HmxChar kDescription[] = u"REVo RAVU Vazazuz v0.12 based on hmx_vsti.hmx v1.01";
static const HmxChar kCopyright[] = u"Copyright (C) 2026 the Tavren developers";
static const HmxChar kExtensions[] = u".mid";
static const HmxChar kEmpty[] = u"";

AxVstiDecoderModule::AxVstiDecoderModule(IHmxConfig* cfg) : moduleInfo{}, config(cfg) {
    moduleInfo.size = sizeof(HmxModuleInfo);
    moduleInfo.value200 = 200;
    moduleInfo.value12 = 12;
    moduleInfo.moduleGuid = kModuleGuid;
    moduleInfo.description = kDescription;
    moduleInfo.copyright = kCopyright;
    moduleInfo.extensions = kExtensions;
    moduleInfo.empty = kEmpty;
    moduleInfo.value1 = 1;
    ModuleCount.fetch_add(1);
    config->AddRef();
}

AxVstiDecoderModule::~AxVstiDecoderModule() {
    bool last = false;
    {
        // Counted down under the lock: a module created meanwhile on another
        // thread waits in its first AcquireInstance until this host is gone,
        // then starts a new one.
        platform::LockGuard guard(HostLock);
        if (ModuleCount.fetch_sub(1) - 1 == 0) {
            last = true;
            if (CurrentHost) StopHost(CurrentHost);
            CurrentHost = nullptr;
            StopRetiredHosts();
        }
    }
    // The boxes' threads run the plug-in's code: none may outlive the last
    // module. Outside the lock, which songs opening meanwhile need.
    if (last) WaitForFailureBoxes();
    config->Release();
}

void AxVstiDecoderModule::GetModuleInfo(HmxModuleInfo** out) {
    if (out) *out = &moduleInfo;
}

int32_t AxVstiDecoderModule::Open(const HmxMediaInfo* request, IHmxFile* file, void*, IHmxDecoder** out) {
    if (out) *out = nullptr;
    // OpenDecoder turns running out of memory into a failed open itself.
    IHmxDecoder* decoder = OpenDecoder(config, request, file);
    if (!decoder) return 0;
    if (out)
        *out = decoder;
    else
        decoder->Release();
    return 1;
}

int32_t AxVstiDecoderModule::DescribeConfig(IHmxConfigBuilder* builder) {
    try {
        return tavren::DescribeConfig(config, builder);
    } catch (...) {
        return 1;  // nothing in the description fails; a shortage of memory only cuts it short
    }
}

int32_t AxVstiDecoderModule::ApplyConfig(const HmxChar* section, const HmxChar* key, uint32_t, uint32_t, uint32_t,
                                         uint32_t, const HmxChar* value) {
    if (!section || !TextEquals(section, u"General")) return 0;
    try {
        return ApplyConfigCommand(config, section, key ? key : u"", value ? value : u"");
    } catch (...) {
        return 0;
    }
}

HmxResult CreateModuleInstance(const HmxGuid* iid, void** out, IUnknown* host) {
    if (!out) return kHmxInvalidArg;
    *out = nullptr;
    if (!iid || *iid != kIidHmxDecoderModule) return kHmxNoInterface;

    IHmxConfig* config = nullptr;
    IHmxInstanceFactory* factory = nullptr;
    if (host && host->QueryInterface(kIidHmxInstanceFactory, reinterpret_cast<void**>(&factory)) == kHmxOk &&
        factory) {
        factory->CreateInstance(kIidHmxConfig, kModuleGuid, 0, 0, 0, reinterpret_cast<void**>(&config));
        factory->Release();
    }
    if (!config) config = new (std::nothrow) AxHmxNullConfig();
    if (!config) return static_cast<HmxResult>(0x8007000Eu);  // out of memory

    auto* module = new (std::nothrow) AxVstiDecoderModule(config);
    config->Release();  // the module holds its own reference
    if (!module) return static_cast<HmxResult>(0x8007000Eu);
    *out = static_cast<IHmxDecoderModule*>(module);
    return kHmxOk;
}

}  // namespace tavren
