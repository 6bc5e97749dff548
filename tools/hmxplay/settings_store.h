// The host player's settings store as hmxplay plays it: an IHmxConfig over
// a UTF-8 text file with one KEY=VALUE line per key of section "General".
// Keys and values are taken literally, up to the first '=' and to the end of
// the line: "VSTiPath_x86=C:\VSTi\synth.dll" names that path. Lines whose
// first visible character is '#' or ';' are comments. Lines that are not
// entries (comments, blank lines) and entries the run leaves unchanged are
// saved back byte for byte. Numbers are read from the stored text, as the
// host player does; out of range or not a number counts as absent.
#pragma once

#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "frame/unknown_impl.h"

namespace hmxplay {

using tavren::HmxChar;

class SettingsStore final : public tavren::AxHmxUnknownImpl<tavren::IHmxConfig> {
public:
    // Loads path when it exists; a missing file is an empty store. False,
    // with the reason in *error, when the file exists but cannot be read.
    bool Load(const std::string& path, std::string* error);
    // Writes the keys the run changed, when there are any, into the file as
    // it is now: under a lock that serialises the saves of one file between
    // processes, it reads the file again, so that what another run saved
    // meanwhile stays, and replaces it whole (file_io.h). False, with the
    // reason in *error and the file as it was, when a changed key cannot be
    // written as a line or the file cannot be written.
    bool Save(const std::string& path, std::string* error) const;

    // A value for this run only: reads see it, Save does not write it.
    void Override(const std::u16string& key, const std::u16string& value) { overrides[key] = value; }
    // The text a read of key would see, when there is one.
    bool Lookup(const HmxChar* section, const HmxChar* key, std::u16string* value) const;
    // The value a read of an absent key gives instead of the caller's default.
    void SetFallback(const std::u16string& key, const std::u16string& value) { fallbacks[key] = value; }

    int32_t HMX_CALL SetInt(const HmxChar* section, const HmxChar* key, int64_t value) override;
    int64_t HMX_CALL GetInt(const HmxChar* section, const HmxChar* key, int64_t def) override;
    int32_t HMX_CALL SetFloat(const HmxChar* section, const HmxChar* key, double value) override;
    double HMX_CALL GetFloat(const HmxChar* section, const HmxChar* key, double def) override;
    int32_t HMX_CALL SetStr(const HmxChar* section, const HmxChar* key, const HmxChar* value) override;
    uint32_t HMX_CALL GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                             const HmxChar* def) override;
    int32_t HMX_CALL SetBin(const HmxChar* section, const HmxChar* key, const void* data, uint32_t size) override;
    uint32_t HMX_CALL GetBin(const HmxChar* section, const HmxChar* key, void* buffer, uint32_t size) override;

private:
    using Name = std::pair<std::u16string, std::u16string>;  // section, key
    static Name NameOf(const HmxChar* section, const HmxChar* key);
    void Store(const HmxChar* section, const HmxChar* key, const std::u16string& value);
    // Says once per key that its text gives no number.
    void WarnNoNumber(const Name& name, const std::string& text, const char* why);

    // Keys of "General" as loaded, and as the run left them.
    std::map<std::u16string, std::u16string> loaded;
    std::map<std::u16string, std::u16string> values;
    // Keys of other sections: kept for the run, never saved.
    std::map<Name, std::u16string> otherSections;
    std::map<std::u16string, std::u16string> overrides;
    std::map<std::u16string, std::u16string> fallbacks;
    std::set<Name> warned;
};

}  // namespace hmxplay
