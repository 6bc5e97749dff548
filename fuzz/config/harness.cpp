// libFuzzer entry for configuration commands as a careless person gives
// them: a module made through the plug-in's export with an in-memory store,
// then a sequence of ApplyConfig calls (the page's keys and others, values
// of every kind, "Info", "Reload", the empty key's sync) and DescribeConfig
// (input layout: commands.h). "Info" loads probe or tone when the store
// names them, never a path the fuzzer made up.
//
// Checks, beyond crashes and sanitizer reports:
// - each result is the one the page allows for the key, and a section other
//   than "General" gives 0 without touching the store;
// - a stored key holds the value as given; "Info" and "Reload" store nothing;
// - "Info" shows one box, "VSTi Information", describing the instrument or
//   saying it failed to load;
// - after the empty key's sync no two presets share a path or a display
//   name (compared without regard to case) and every pending key is empty;
// - after every command the store is readable by the settings reader:
//   values inside their ranges, preset lists parallel, the page whole;
// - releasing the module leaves no thread and no loaded instrument behind.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/invariant.h"
#include "common/page_record.h"
#include "common/process_state.h"
#include "config/commands.h"
#include "config/settings.h"
#include "memory_config.h"
#include "platform/platform.h"
#include "platform/text.h"

extern "C" tavren::HmxResult HMX_CALL hmx_CreateInstance(const tavren::HmxGuid* iid, void** out,
                                                         tavren::IUnknown* host);

namespace {

using namespace tavren;
using namespace fuzzsupport;
using namespace configfuzz;

void Check(bool holds, const char* what) {
    if (!holds) fuzzsupport::Broken("config", what);
}

std::u16string probePath, tonePath;
std::vector<std::u16string> pageKeys;
std::vector<std::string> boxes;  // "CAPTION: TEXT" of every box shown

void CaptureBox(const char16_t* caption, const char16_t* text) {
    boxes.push_back(ToUtf8(caption) + ": " + ToUtf8(text));
}

// The host object: hands out the store as the module's configuration.
class Host final : public IHmxInstanceFactory {
public:
    explicit Host(IHmxConfig* config) : config_(config) {}
    HmxResult HMX_CALL QueryInterface(const HmxGuid& iid, void** out) override {
        *out = iid == kIidHmxInstanceFactory ? static_cast<IHmxInstanceFactory*>(this) : nullptr;
        return *out ? kHmxOk : kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }
    HmxResult HMX_CALL CreateInstance(const HmxGuid& iid, const HmxGuid&, uint32_t, uint32_t, uint32_t,
                                      void** out) override {
        *out = iid == kIidHmxConfig ? config_ : nullptr;
        return *out ? kHmxOk : kHmxNoInterface;
    }

private:
    IHmxConfig* config_;
};

IHmxDecoderModule* MakeModule(Host* host) {
    void* out = nullptr;
    Check(hmx_CreateInstance(&kIidHmxDecoderModule, &out, host) == kHmxOk && out, "no module from the export");
    return static_cast<IHmxDecoderModule*>(out);
}

// The stored text of a key of "General", cut as a 260-character buffer cuts it.
std::u16string Stored(const test::MemoryConfig& store, const std::u16string& key, size_t chars = kPathChars - 1) {
    auto it = store.values.find(u"General/" + key);
    return it == store.values.end() ? u"" : it->second.substr(0, chars);
}

bool SameNoCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::u16string PresetKeyOf(int number, int field) {
    char16_t key[kKeyChars];
    PresetKey(key, kKeyChars, number, field);
    return key;
}


// The result the page allows for a key stored in "General", given the store
// after the store step.
int32_t ExpectedResult(const test::MemoryConfig& store, const std::u16string& key) {
    if (key == kKeyShowEditor) return 1;
    if (key == kKeyVstiPath || key == kKeyBridge) return 3;  // both reload the instrument
    const std::u16string selected = Stored(store, kKeyVstiPath);
    for (int row = PresetRate; row <= PresetCache; ++row) {
        if (key == PresetFieldTable[row].globalKey) return selected.empty() ? 0 : row == PresetRate ? 2 : 1;
    }
    for (int row = PresetRate; row <= PresetCache; ++row) {
        const size_t at = key.find(PresetFieldTable[row].suffix);
        if (at == std::u16string::npos) continue;
        const std::u16string preset = Stored(store, key.substr(0, std::min(at, kKeyChars - 1)));
        return !preset.empty() && SameNoCase(preset, selected) ? (row == PresetRate ? 2 : 1) : 0;
    }
    return 0;
}

void CheckReadable(test::MemoryConfig& store) {
    VstiSettings s;
    ReadVstiSettings(&store, &s);
    Check(IsValidSampleRate(s.sampleRate) && s.volume >= 0.0 && s.volume <= 4.0 && s.reset >= 0 && s.reset <= 3,
          "the store reads as settings outside their ranges");
    static char16_t values[kPresetListChars], labels[kPresetListChars];
    BuildPresetLists(&store, values, labels);
    Check(fuzz::ListEntries(values) == fuzz::ListEntries(labels),
          "the preset lists are not parallel: a label for each path");
}

void CheckSynced(const test::MemoryConfig& store) {
    for (int field : {int(PresetPath), int(PresetDesc)}) {
        for (int n = 2; n <= PresetCount; ++n) {
            const std::u16string own = Stored(store, PresetKeyOf(n, field));
            for (int m = 1; m < n && !own.empty(); ++m)
                Check(!SameNoCase(own, Stored(store, PresetKeyOf(m, field))),
                      "after the sync two presets share a path or a display name");
        }
    }
    const std::u16string selected = Stored(store, kKeyVstiPath);
    bool matched = false;
    for (int n = 1; n <= PresetCount && !selected.empty(); ++n)
        matched = matched || SameNoCase(Stored(store, PresetKeyOf(n, PresetPath)), selected);
    for (int row = PresetRate; row <= PresetCache && matched; ++row)
        Check(Stored(store, PresetFieldTable[row].pendingKey).empty(),
              "after a sync that found the preset a pending key still holds a value");
}

// A key or value: from its table, or literal UTF-16 from the input.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ + 3 <= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::u16string Literal() {
        const size_t length = Byte();
        std::u16string text;
        for (size_t i = 0; i + 1 < length && at_ + 1 < size_; i += 2, at_ += 2)
            text += char16_t(data_[at_] | data_[at_ + 1] << 8);
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

class Session {
public:
    Session() : host_(&store_), module_(MakeModule(&host_)) {}
    ~Session() { Check(module_->Release() == 0, "the host's one reference on the module was not the last"); }

    void Run(Reader& in) {
        const uint8_t operation = in.Byte() % OperationCount;
        const uint8_t keyByte = in.Byte();
        const uint8_t valueByte = in.Byte();
        std::u16string key = keyByte == kLiteral ? in.Literal() : KeyAt(keyByte);
        std::u16string value = valueByte == kLiteral ? in.Literal() : ValueAt(valueByte);
        // What a pointer to them carries: up to the first null character.
        key = key.c_str();
        value = value.c_str();
        if (operation == Describe) return DescribeOnce();
        if (operation == ApplyElsewhere) return ApplyElsewhereOnce(valueByte, key, value);
        if (key == u"Info" && !MayLoad()) return;
        const bool null = operation == ApplyNull;
        const size_t callsBefore = store_.calls.size(), setsBefore = store_.CountCalls("Set");
        boxes.clear();
        const int32_t result = module_->ApplyConfig(u"General", null ? nullptr : key.c_str(), 0, 0, 0, 0,
                                                    null ? nullptr : value.c_str());
        if (null) key = value = u"";
        if (key == u"Reload" || key == u"Info") {
            Check(result == (key == u"Reload" ? 3 : 0), "Reload gave other than 3, or Info other than 0");
            Check(store_.CountCalls("Set") == setsBefore, "Reload or Info stored something");
            if (key == u"Info") CheckInfoBox();
        } else {
            Check(store_.calls.size() > callsBefore && Stored(store_, key, std::u16string::npos) == value,
                  "the key does not hold the value applied");
            Check(result == ExpectedResult(store_, key),
                  "ApplyConfig gave a result the page does not allow for the key");
            if (key.empty()) CheckSynced(store_);
        }
        CheckReadable(store_);
    }

private:
    static std::u16string KeyAt(uint8_t byte) {
        const size_t index = byte % (pageKeys.size() + kSpecialKeyCount);
        return index < pageKeys.size() ? pageKeys[index] : kSpecialKeys[index - pageKeys.size()];
    }
    static std::u16string ValueAt(uint8_t byte) {
        const std::u16string value = kValues[byte % kValueCount];
        if (value == u"probe") return probePath;
        if (value == u"tone") return tonePath;
        return value;
    }

    // "Info" opens the library the store names when no instrument is loaded
    // yet: only ours, or a path that loads nothing.
    bool MayLoad() const {
        const std::u16string selected = Stored(store_, kKeyVstiPath);
        return loaded_ || selected.empty() || selected == probePath || selected == tonePath ||
               selected == u"/nonexistent/none.so" || selected == u"C:\\VSTi\\Synth.dll" ||
               selected == u"c:\\vsti\\SYNTH.DLL";
    }

    void CheckInfoBox() {
        Check(boxes.size() == 1, "Info showed other than one box");
        const std::string& box = boxes[0];
        const bool described = box.compare(0, 24, "VSTi Information: path: ") == 0;
        Check(described || box == "VSTi Information: failed to load plug-in", "Info's box is neither kind");
        const std::u16string selected = Stored(store_, kKeyVstiPath);
        Check(described == (loaded_ || selected == probePath || selected == tonePath),
              "Info described an instrument that cannot load, or failed on one that can");
        loaded_ = loaded_ || described;
    }

    void ApplyElsewhereOnce(uint8_t which, const std::u16string& key, const std::u16string& value) {
        static const char16_t* const kSections[] = {u"general", u"Other", u"", u"General ", nullptr};
        const size_t callsBefore = store_.calls.size();
        const int32_t result = module_->ApplyConfig(kSections[which % 5], key.c_str(), 0, 0, 0, 0, value.c_str());
        Check(result == 0 && store_.calls.size() == callsBefore, "a section other than \"General\" was applied");
    }

    void DescribeOnce() {
        fuzz::PageRecord page;
        Check(module_->DescribeConfig(&page) == 1, "DescribeConfig gave other than 1");
        Check(page.sections == 1 && page.itemsWithoutTexts == 0 && page.keys == pageKeys,
              "the page changed its section or its items");
        static char16_t values[kPresetListChars], labels[kPresetListChars];
        BuildPresetLists(&store_, values, labels);
        Check(page.pathChoices == values, "the path item offers other choices than the preset list");
        CheckReadable(store_);
    }

    test::MemoryConfig store_;
    Host host_;
    IHmxDecoderModule* module_;
    bool loaded_ = false;  // an instrument is loaded: "Info" describes it whatever the path says now
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* name : {"PROBE_LOG", "PROBE_REFUSE", "PROBE_FLAGS", "PROBE_OUTPUTS", "PROBE_INPUTS",
                             "PROBE_FAIL_OPEN", "PROBE_VENDOR", "PROBE_PRODUCT", "PROBE_STRING_BYTES"})
        unsetenv(name);
    probePath = FromUtf8(InstrumentPath("probe"));
    tonePath = FromUtf8(InstrumentPath("tone"));
    platform::SetMessageBoxSink(CaptureBox);
    test::MemoryConfig store;
    Host host(&store);
    IHmxDecoderModule* module = MakeModule(&host);
    fuzz::PageRecord page;
    module->DescribeConfig(&page);
    module->Release();
    pageKeys = page.keys;
    if (pageKeys.size() != kPageItems) {
        std::fprintf(stderr, "config fuzzer: the page has %zu items, not %zu\n", pageKeys.size(), kPageItems);
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int threadsBefore = ThreadCount();
    {
        Session session;
        Reader in(data, size);
        for (size_t n = 0; n < kMaxCommands && in.More(); ++n) session.Run(in);
    }
    Check(ThreadsBackTo(threadsBefore), "a thread outlived the module");
    Check(!LibraryLoaded(ToUtf8(probePath)) && !LibraryLoaded(ToUtf8(tonePath)),
          "an instrument stayed loaded after the last module went");
    return 0;
}
