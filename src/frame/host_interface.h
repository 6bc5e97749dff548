// The host player's interfaces and records, as the plug-in uses them.
// COM-style: every interface starts with QueryInterface, AddRef, Release;
// operations are stdcall in the 32-bit Windows build; strings are
// null-terminated UTF-16 (char16_t, which is UTF-16 in both builds).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define HMX_CALL __stdcall
#else
#define HMX_CALL
#endif

namespace tavren {

using HmxChar = char16_t;
using HmxResult = int32_t;

constexpr HmxResult kHmxOk = 0;
constexpr HmxResult kHmxNoInterface = static_cast<HmxResult>(0x80004002u);
constexpr HmxResult kHmxInvalidArg = static_cast<HmxResult>(0x80070057u);

struct HmxGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(HmxGuid) == 16, "GUID layout");

bool operator==(const HmxGuid& a, const HmxGuid& b);
inline bool operator!=(const HmxGuid& a, const HmxGuid& b) { return !(a == b); }

extern const HmxGuid kIidUnknown;
extern const HmxGuid kIidHmxDecoderModule;
extern const HmxGuid kIidHmxDecoder;
extern const HmxGuid kIidHmxConfig;
extern const HmxGuid kIidHmxInstanceFactory;
extern const HmxGuid kModuleGuid;

// Packed to 4 so that the 64-bit fields of the media information keep the
// 100-byte size the host expects.
#pragma pack(push, 4)
struct HmxModuleInfo {
    uint32_t size;  // 80
    uint32_t value200;
    uint32_t value12;
    uint32_t zero12;
    HmxGuid moduleGuid;
    const HmxChar* description;
    const HmxChar* copyright;
    const HmxChar* extensions;
    const HmxChar* empty;
    uint32_t zero48;
    uint32_t zero52;
    uint32_t zero56;
    uint32_t value1;
    uint8_t reserved[16];
};

struct HmxMediaInfo {
    uint32_t size;  // 100
    uint32_t selectedSong;
    uint32_t songCount;
    uint32_t zero12;
    uint32_t sampleRate;
    int32_t format;  // -32 float, -64 double, interleaved
    uint32_t channels;
    uint32_t zero28;
    uint64_t length;  // 100 ns units
    uint64_t loop;    // all ones when the song has a loop marker
    uint8_t zero48[12];
    uint32_t blockFrames;
    uint32_t field64;
    uint8_t zero68[32];
};
#pragma pack(pop)

// The module information widens with its four text pointers: 80 bytes in
// the 32-bit build, 96 in the 64-bit ones (pointers at 32, 40, 48, 56).
static_assert(offsetof(HmxModuleInfo, moduleGuid) == 16, "HmxModuleInfo layout");
static_assert(offsetof(HmxModuleInfo, description) == 32, "HmxModuleInfo layout");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HmxModuleInfo) == 80, "HmxModuleInfo layout");
static_assert(offsetof(HmxModuleInfo, extensions) == 40, "HmxModuleInfo layout");
static_assert(offsetof(HmxModuleInfo, empty) == 44, "HmxModuleInfo layout");
static_assert(offsetof(HmxModuleInfo, zero48) == 48, "HmxModuleInfo layout");
static_assert(offsetof(HmxModuleInfo, value1) == 60, "HmxModuleInfo layout");
static_assert(offsetof(HmxModuleInfo, reserved) == 64, "HmxModuleInfo layout");
#else
static_assert(sizeof(HmxModuleInfo) == 96, "HmxModuleInfo layout (64-bit)");
static_assert(offsetof(HmxModuleInfo, copyright) == 40, "HmxModuleInfo layout (64-bit)");
static_assert(offsetof(HmxModuleInfo, extensions) == 48, "HmxModuleInfo layout (64-bit)");
static_assert(offsetof(HmxModuleInfo, empty) == 56, "HmxModuleInfo layout (64-bit)");
static_assert(offsetof(HmxModuleInfo, zero48) == 64, "HmxModuleInfo layout (64-bit)");
static_assert(offsetof(HmxModuleInfo, value1) == 76, "HmxModuleInfo layout (64-bit)");
static_assert(offsetof(HmxModuleInfo, reserved) == 80, "HmxModuleInfo layout (64-bit)");
#endif
// The media information has no pointer: 100 bytes in every build.
static_assert(sizeof(HmxMediaInfo) == 100, "HmxMediaInfo layout");
static_assert(offsetof(HmxMediaInfo, sampleRate) == 16, "HmxMediaInfo layout");
static_assert(offsetof(HmxMediaInfo, format) == 20, "HmxMediaInfo layout");
static_assert(offsetof(HmxMediaInfo, length) == 32, "HmxMediaInfo layout");
static_assert(offsetof(HmxMediaInfo, loop) == 40, "HmxMediaInfo layout");
static_assert(offsetof(HmxMediaInfo, blockFrames) == 60, "HmxMediaInfo layout");
static_assert(offsetof(HmxMediaInfo, field64) == 64, "HmxMediaInfo layout");

// Configuration page records (handed to IHmxConfigBuilder).
struct HmxConfigSection {
    const HmxChar* key;
    const HmxChar* reserved;  // always null from this plug-in
    const HmxChar* description;
};

enum HmxConfigItemType : int32_t {
    HmxItemBool = 0,
    HmxItemInt = 1,
    HmxItemFloat = 2,
    HmxItemString = 3,
    HmxItemCommand = 4,
    HmxItemFile = 5,
};

struct HmxConfigItem {
    int32_t type;
    const HmxChar* section;
    const HmxChar* key;
    const HmxChar* label;
    const HmxChar* defaultValue;
    const HmxChar* minimum;
    const HmxChar* maximum;
    const HmxChar* choiceValues;
    const HmxChar* choiceLabels;
    const HmxChar* help;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HmxConfigSection) == 12, "HmxConfigSection layout");
static_assert(sizeof(HmxConfigItem) == 40, "HmxConfigItem layout");
static_assert(offsetof(HmxConfigItem, section) == 4, "HmxConfigItem layout");
static_assert(offsetof(HmxConfigItem, help) == 36, "HmxConfigItem layout");
#else
// Pointer-sized fields: the type is padded to 8 bytes before the first text.
static_assert(sizeof(HmxConfigSection) == 24, "HmxConfigSection layout (64-bit)");
static_assert(offsetof(HmxConfigSection, description) == 16, "HmxConfigSection layout (64-bit)");
static_assert(sizeof(HmxConfigItem) == 80, "HmxConfigItem layout (64-bit)");
static_assert(offsetof(HmxConfigItem, section) == 8, "HmxConfigItem layout (64-bit)");
static_assert(offsetof(HmxConfigItem, help) == 72, "HmxConfigItem layout (64-bit)");
#endif

struct IUnknown {
    virtual HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) = 0;
    virtual int32_t HMX_CALL AddRef() = 0;
    virtual int32_t HMX_CALL Release() = 0;
};

struct IHmxFile : IUnknown {
    // Operations before GetBuffer exist in the host's interface; the plug-in never calls them.
    virtual int32_t HMX_CALL Reserved1() = 0;
    virtual int32_t HMX_CALL Reserved2() = 0;
    virtual int32_t HMX_CALL Reserved3() = 0;
    virtual int32_t HMX_CALL Reserved4() = 0;
    virtual int32_t HMX_CALL Reserved5() = 0;
    virtual int32_t HMX_CALL Reserved6() = 0;
    virtual int32_t HMX_CALL Reserved7() = 0;
    // The whole file image; nonzero on success.
    virtual int32_t HMX_CALL GetBuffer(const uint8_t** data, uint32_t* size) = 0;
};

struct IHmxConfig : IUnknown {
    virtual int32_t HMX_CALL SetInt(const HmxChar* section, const HmxChar* key, int64_t value) = 0;
    virtual int64_t HMX_CALL GetInt(const HmxChar* section, const HmxChar* key, int64_t def) = 0;
    virtual int32_t HMX_CALL SetFloat(const HmxChar* section, const HmxChar* key, double value) = 0;
    virtual double HMX_CALL GetFloat(const HmxChar* section, const HmxChar* key, double def) = 0;
    virtual int32_t HMX_CALL SetStr(const HmxChar* section, const HmxChar* key, const HmxChar* value) = 0;
    // Gives the bytes the whole value needs, terminator included.
    virtual uint32_t HMX_CALL GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer,
                                     uint32_t sizeBytes, const HmxChar* def) = 0;
    virtual int32_t HMX_CALL SetBin(const HmxChar* section, const HmxChar* key, const void* data,
                                    uint32_t size) = 0;
    virtual uint32_t HMX_CALL GetBin(const HmxChar* section, const HmxChar* key, void* buffer,
                                     uint32_t size) = 0;
};

struct IHmxInstanceFactory : IUnknown {
    virtual HmxResult HMX_CALL CreateInstance(const HmxGuid& iid, const HmxGuid& module, uint32_t zero1,
                                              uint32_t zero2, uint32_t zero3, void** out) = 0;
};

struct IHmxConfigBuilder : IUnknown {
    virtual int32_t HMX_CALL AddSection(const HmxConfigSection* section) = 0;
    virtual int32_t HMX_CALL AddItem(const HmxConfigItem* item) = 0;
};

struct IHmxDecoder : IUnknown {
    virtual uint32_t HMX_CALL Select(uint32_t song, HmxMediaInfo** out, uint32_t unused1, uint32_t unused2) = 0;
    virtual uint32_t HMX_CALL Render(void* buffer, uint32_t size) = 0;
    virtual uint64_t HMX_CALL Seek(uint64_t position, uint32_t unused) = 0;
    virtual int32_t HMX_CALL UpdateConfig(uint32_t unused) = 0;
};

struct IHmxDecoderModule : IUnknown {
    virtual void HMX_CALL GetModuleInfo(HmxModuleInfo** out) = 0;
    virtual int32_t HMX_CALL Open(const HmxMediaInfo* request, IHmxFile* file, void* unused,
                                  IHmxDecoder** out) = 0;
    virtual int32_t HMX_CALL DescribeConfig(IHmxConfigBuilder* builder) = 0;
    virtual int32_t HMX_CALL ApplyConfig(const HmxChar* section, const HmxChar* key, uint32_t unused1,
                                         uint32_t unused2, uint32_t unused3, uint32_t unused4,
                                         const HmxChar* value) = 0;
};

// The plug-in's one export.
using HmxCreateInstanceProc = HmxResult(HMX_CALL*)(const HmxGuid* iid, void** out, IUnknown* host);

}  // namespace tavren
