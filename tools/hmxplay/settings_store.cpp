#include "settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace hmxplay {

using tavren::FromUtf8;
using tavren::ToUtf8;

static std::string EscapeField(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '=': out += "\\="; break;
            default: out += c;
        }
    }
    return out;
}

static std::string UnescapeField(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

// Position of the first '=' not escaped by a backslash.
static size_t FindSeparator(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '=')
            return i;
    }
    return std::string::npos;
}

bool SettingsStore::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = FindSeparator(line);
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        if (key == "\"\"") key.clear();  // the empty key is written ""
        values[FromUtf8(UnescapeField(key))] = FromUtf8(UnescapeField(line.substr(eq + 1)));
    }
    return true;
}

bool SettingsStore::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& [key, value] : values) {
        if (key.find(u'\n') != std::u16string::npos) continue;  // another section
        std::string k = key.empty() ? "\"\"" : EscapeField(ToUtf8(key));
        out << k << '=' << EscapeField(ToUtf8(value)) << '\n';
    }
    return static_cast<bool>(out);
}

std::u16string SettingsStore::Name(const HmxChar* section, const HmxChar* key) {
    std::u16string s = section ? section : u"";
    std::u16string k = key ? key : u"";
    return s == u"General" ? k : s + u"\n" + k;
}

bool SettingsStore::Lookup(const HmxChar* section, const HmxChar* key, std::u16string* value) const {
    std::u16string name = Name(section, key);
    for (const auto* map : {&overrides, &values, &fallbacks}) {
        auto it = map->find(name);
        if (it != map->end()) {
            *value = it->second;
            return true;
        }
    }
    return false;
}

void SettingsStore::Store(const HmxChar* section, const HmxChar* key, const std::u16string& value) {
    std::u16string name = Name(section, key);
    values[name] = value;
    overrides.erase(name);  // a write made during the run is what later reads see
}

int32_t SettingsStore::SetInt(const HmxChar* section, const HmxChar* key, int64_t value) {
    Store(section, key, FromUtf8(std::to_string(value)));
    return 1;
}

int64_t SettingsStore::GetInt(const HmxChar* section, const HmxChar* key, int64_t def) {
    std::u16string text;
    if (!Lookup(section, key, &text)) return def;
    std::string s = ToUtf8(text);
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str()) return def;
    if (*end == '.' || *end == 'e' || *end == 'E') return static_cast<int64_t>(std::strtod(s.c_str(), nullptr));
    return v;
}

int32_t SettingsStore::SetFloat(const HmxChar* section, const HmxChar* key, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    Store(section, key, FromUtf8(text));
    return 1;
}

double SettingsStore::GetFloat(const HmxChar* section, const HmxChar* key, double def) {
    std::u16string text;
    if (!Lookup(section, key, &text)) return def;
    std::string s = ToUtf8(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    return end == s.c_str() ? def : v;
}

int32_t SettingsStore::SetStr(const HmxChar* section, const HmxChar* key, const HmxChar* value) {
    Store(section, key, value ? value : u"");
    return 1;
}

uint32_t SettingsStore::GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                               const HmxChar* def) {
    std::u16string text;
    if (!Lookup(section, key, &text)) text = def ? def : u"";
    if (buffer && sizeBytes >= 2) tavren::CopyText(buffer, sizeBytes / 2, text.c_str());
    return static_cast<uint32_t>((text.size() + 1) * 2);
}

int32_t SettingsStore::SetBin(const HmxChar* section, const HmxChar* key, const void* data, uint32_t size) {
    // Binary values are kept as hex text.
    std::string hex;
    static const char digits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < size; ++i) {
        uint8_t b = static_cast<const uint8_t*>(data)[i];
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    Store(section, key, FromUtf8(hex));
    return 1;
}

uint32_t SettingsStore::GetBin(const HmxChar* section, const HmxChar* key, void* buffer, uint32_t size) {
    std::u16string text;
    if (buffer) std::memset(buffer, 0, size);
    if (!Lookup(section, key, &text)) return 0;
    std::string hex = ToUtf8(text);
    uint32_t n = 0;
    for (; n < size && 2 * n + 1 < hex.size(); ++n)
        static_cast<uint8_t*>(buffer)[n] = static_cast<uint8_t>(std::strtoul(hex.substr(2 * n, 2).c_str(), nullptr, 16));
    return n;
}

}  // namespace hmxplay
