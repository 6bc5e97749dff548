#include "settings_store.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_io.h"
#include "platform/text.h"

namespace hmxplay {

using tavren::FromUtf8;
using tavren::ToUtf8;

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

// Why a value cannot be written as one KEY=VALUE line, or null when it can.
const char* Unwritable(const std::string& key, const std::string& value) {
    if (key.find_first_of("\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
        return "holds a line break";
    if (key.find('=') != std::string::npos) return "has '=' in its key";
    return nullptr;
}

}  // namespace

bool SettingsStore::Load(const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    ReadResult read = ReadWholeFile(path, &bytes, error);
    if (read == ReadResult::Failed) return false;
    const std::string text(bytes.begin(), bytes.end());
    for (size_t at = 0; at < text.size();) {
        size_t newline = text.find('\n', at);
        Line line;
        line.text = text.substr(at, newline == std::string::npos ? std::string::npos : newline - at);
        if (newline != std::string::npos) line.ending = "\n";
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.ending.insert(0, "\r");
        }
        at = newline == std::string::npos ? text.size() : newline + 1;
        // A byte-order mark, as some editors write, is not part of the first key.
        size_t from = lines.empty() && line.text.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
        size_t eq = line.text.find('=', from);
        if (eq != std::string::npos) {
            line.entry = true;
            line.key = FromUtf8(line.text.substr(from, eq - from));
            values[line.key] = loaded[line.key] = FromUtf8(line.text.substr(eq + 1));
            entryLine[line.key] = lines.size();
        }
        lines.push_back(std::move(line));
    }
    return true;
}

bool SettingsStore::Save(const std::string& path, std::string* error) const {
    // Only the keys this run changed are written; everything else keeps its bytes.
    std::map<size_t, std::string> rewritten;
    std::string appended;
    const std::string newline = !lines.empty() && lines.front().ending == "\r\n" ? "\r\n" : "\n";
    for (const auto& [key, value] : values) {
        if (key.find(u'\n') != std::u16string::npos) continue;  // another section
        auto was = loaded.find(key);
        if (was != loaded.end() && was->second == value) continue;
        const std::string k = ToUtf8(key), v = ToUtf8(value);
        if (const char* why = Unwritable(k, v)) {
            *error = "setting " + k + " " + why + ", which a settings line cannot hold";
            return false;
        }
        auto line = entryLine.find(key);
        if (line == entryLine.end()) {
            appended += k + "=" + v + newline;
            continue;
        }
        // The line keeps its own bytes up to the '=' (a byte-order mark, a key
        // that is not valid UTF-8); only the value is new.
        const std::string& old = lines[line->second].text;
        const size_t from = line->second == 0 && old.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
        rewritten[line->second] = old.substr(0, old.find('=', from) + 1) + v;
    }
    if (rewritten.empty() && appended.empty()) return true;  // the file stays as it is

    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        auto r = rewritten.find(i);
        out += r != rewritten.end() ? r->second : lines[i].text;
        out += lines[i].ending;
    }
    // A last line without a line feed gets one first, or the new keys would
    // join its text on the next load: the file's own ending after none, only
    // the "\n" after a lone "\r" (a whole "\r\n" would leave a "\r" in its value).
    if (!appended.empty() && !lines.empty()) {
        const std::string& last = lines.back().ending;
        if (last.empty()) out += newline;
        if (last == "\r") out += "\n";
    }
    out += appended;
    return ReplaceFile(path, out, error);
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

void SettingsStore::WarnOutOfRange(const std::u16string& key, const std::string& text) {
    if (!warned.insert(key).second) return;
    std::fprintf(stderr, "hmxplay: %s=%s is out of range; the plug-in gets its default\n", ToUtf8(key).c_str(),
                 text.c_str());
}

int64_t SettingsStore::GetInt(const HmxChar* section, const HmxChar* key, int64_t def) {
    std::u16string text;
    if (!Lookup(section, key, &text)) return def;
    std::string s = ToUtf8(text);
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str()) return def;
    if (*end == '.' || *end == 'e' || *end == 'E') {
        errno = 0;
        double d = std::strtod(s.c_str(), nullptr);
        // Only values that a 64-bit integer holds convert: 2^63 itself does not.
        if (errno == ERANGE || !(d > -9223372036854775808.0 && d < 9223372036854775808.0)) {
            WarnOutOfRange(Name(section, key), s);
            return def;
        }
        return static_cast<int64_t>(d);
    }
    if (errno == ERANGE) {
        WarnOutOfRange(Name(section, key), s);
        return def;
    }
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
    errno = 0;
    double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str()) return def;
    // Too large, infinite or not a number: no setting means that.
    if (!std::isfinite(v) || (errno == ERANGE && std::fabs(v) > 1.0)) {
        WarnOutOfRange(Name(section, key), s);
        return def;
    }
    return v;
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
