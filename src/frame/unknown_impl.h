// The reference-counting base of every object handed to the host player.
// QueryInterface answers T's identifier and IUnknown's; Release destroys the
// object at zero through its virtual destructor (the last vtable slot).
#pragma once

#include <atomic>

#include "frame/host_interface.h"

namespace tavren {

template <typename T>
class AxHmxUnknownImpl : public T {
public:
    AxHmxUnknownImpl(const AxHmxUnknownImpl&) = delete;
    AxHmxUnknownImpl& operator=(const AxHmxUnknownImpl&) = delete;

    HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) override {
        if (!out) return kHmxInvalidArg;
        if (iid == InterfaceId() || iid == kIidUnknown) {
            *out = static_cast<T*>(this);
            AddRef();
            return kHmxOk;
        }
        *out = nullptr;
        return kHmxNoInterface;
    }

    int32_t HMX_CALL AddRef() override { return refCount.fetch_add(1) + 1; }

    int32_t HMX_CALL Release() override {
        int32_t count = refCount.fetch_sub(1) - 1;
        if (count == 0) delete this;
        return count;
    }

    virtual ~AxHmxUnknownImpl() = default;

protected:
    AxHmxUnknownImpl() = default;
    static const HmxGuid& InterfaceId();

private:
    std::atomic<int32_t> refCount{1};  // the maker's pointer is the first reference
};

template <>
inline const HmxGuid& AxHmxUnknownImpl<IHmxConfig>::InterfaceId() { return kIidHmxConfig; }
template <>
inline const HmxGuid& AxHmxUnknownImpl<IHmxDecoder>::InterfaceId() { return kIidHmxDecoder; }
template <>
inline const HmxGuid& AxHmxUnknownImpl<IHmxDecoderModule>::InterfaceId() { return kIidHmxDecoderModule; }

}  // namespace tavren
