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

// The file line by line; entry lines carry their key.
struct Line {
    std::string text;    // without its line ending
    std::string ending;  // "\n", "\r\n" or "" for a last line without one
    bool entry = false;
    std::string key;     // the bytes before the first '=', a byte-order mark left out
};

struct SettingsText {
    std::vector<Line> lines;
    std::map<std::u16string, size_t> entryLine;  // the line whose value a key has (its last)
    std::map<std::u16string, std::u16string> values;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

SettingsText Parse(const std::string& text) {
    SettingsText file;
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
        size_t from = file.lines.empty() && line.text.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
        size_t visible = line.text.find_first_not_of(" \t", from);
        bool comment = visible != std::string::npos && (line.text[visible] == '#' || line.text[visible] == ';');
        size_t eq = line.text.find('=', from);
        if (eq != std::string::npos && !comment) {
            line.entry = true;
            line.key = line.text.substr(from, eq - from);
            file.values[FromUtf8(line.key)] = FromUtf8(line.text.substr(eq + 1));
            file.entryLine[FromUtf8(line.key)] = file.lines.size();
        }
        file.lines.push_back(std::move(line));
    }
    return file;
}

// Why a value cannot be written as one KEY=VALUE line that reads back as
// the same key and value, or null when it can.
const char* Unwritable(const std::string& key, const std::string& value) {
    if (key.empty()) return "is empty";
    if (key.find_first_of("\r\n") != std::string::npos) return "holds a line break";
    if (value.find_first_of("\r\n") != std::string::npos) return "has a value that holds a line break";
    if (key.find('=') != std::string::npos) return "holds '='";
    size_t visible = key.find_first_not_of(" \t");
    if (visible != std::string::npos && (key[visible] == '#' || key[visible] == ';'))
        return "starts as a comment line does";
    return nullptr;
}

}  // namespace

bool SettingsStore::Load(const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    ReadResult read = ReadWholeFile(path, &bytes, error);
    if (read == ReadResult::Failed) {
        // Windows will not open a file while another run replaces it: once
        // that save has given up its lock, the file reads.
        SaveLock lock;
        std::string none;
        if (lock.Acquire(SaveTarget(path), SaveLock::Mode::Read, &none)) read = ReadWholeFile(path, &bytes, error);
        if (read == ReadResult::Failed) return false;
    }
    const SettingsText file = Parse(std::string(bytes.begin(), bytes.end()));
    for (const auto& [key, value] : file.values) values[key] = loaded[key] = value;
    // "Volume_x86 = 80" sets the key "Volume_x86 ", which nothing reads.
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const std::string& key = file.lines[i].key;
        if (file.lines[i].entry && !key.empty() && (IsBlank(key.front()) || IsBlank(key.back())))
            std::fprintf(stderr, "hmxplay: settings line %zu '%s': the key is '%s', blanks included; write "
                         "KEY=VALUE without blanks around '='\n", i + 1, file.lines[i].text.c_str(), key.c_str());
    }
    return true;
}

bool SettingsStore::Save(const std::string& path, std::string* error) const {
    // Only the keys this run changed are written; everything else keeps its bytes.
    std::map<std::u16string, std::string> changes;
    for (const auto& [key, value] : values) {
        auto was = loaded.find(key);
        if (was != loaded.end() && was->second == value) continue;
        const std::string v = ToUtf8(value);
        if (const char* why = Unwritable(ToUtf8(key), v)) {
            *error = key.empty() ? std::string("the plug-in stored a value under an empty key")
                                 : "the plug-in stored the key '" + tavren::EscapeForLine(key.c_str()) + "', which " + why;
            *error += ": a settings line cannot hold it; nothing was saved";
            return false;
        }
        changes[key] = v;
    }
    if (changes.empty()) return true;  // the file stays as it is

    // Another run may have saved since this one loaded: its lines stay.
    const std::string target = SaveTarget(path);
    SaveLock lock;
    if (!lock.Acquire(target, SaveLock::Mode::Save, error)) return false;
    std::vector<uint8_t> bytes;
    std::string problem;
    if (ReadWholeFile(target, &bytes, &problem) == ReadResult::Failed) {
        *error = "cannot read it again before saving: " + problem;
        return false;
    }
    const std::string before(bytes.begin(), bytes.end());
    const SettingsText file = Parse(before);
    std::map<size_t, std::string> rewritten;
    std::string appended;
    const std::string newline = !file.lines.empty() && file.lines.front().ending == "\r\n" ? "\r\n" : "\n";
    for (const auto& [key, value] : changes) {
        auto line = file.entryLine.find(key);
        if (line == file.entryLine.end()) {
            appended += ToUtf8(key) + "=" + value + newline;
            continue;
        }
        // The line keeps its own bytes up to the '=' (a byte-order mark, a key
        // that is not valid UTF-8); only the value is new.
        const std::string& old = file.lines[line->second].text;
        const size_t from = line->second == 0 && old.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
        rewritten[line->second] = old.substr(0, old.find('=', from) + 1) + value;
    }
    std::string out;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        auto r = rewritten.find(i);
        out += r != rewritten.end() ? r->second : file.lines[i].text;
        out += file.lines[i].ending;
    }
    // A last line without a line feed gets one first, or the new keys would
    // join its text on the next load: the file's own ending after none, only
    // the "\n" after a lone "\r" (a whole "\r\n" would leave a "\r" in its value).
    if (!appended.empty() && !file.lines.empty()) {
        const std::string& last = file.lines.back().ending;
        if (last.empty()) out += newline;
        if (last == "\r") out += "\n";
    }
    out += appended;
    if (out == before) return true;
    return ReplaceWholeFile(target, out, error);
}

SettingsStore::Name SettingsStore::NameOf(const HmxChar* section, const HmxChar* key) {
    return {section ? section : u"", key ? key : u""};
}

bool SettingsStore::Lookup(const HmxChar* section, const HmxChar* key, std::u16string* value) const {
    const Name name = NameOf(section, key);
    if (name.first != u"General") {
        auto it = otherSections.find(name);
        if (it == otherSections.end()) return false;
        *value = it->second;
        return true;
    }
    for (const auto* map : {&overrides, &values, &fallbacks}) {
        auto it = map->find(name.second);
        if (it != map->end()) {
            *value = it->second;
            return true;
        }
    }
    return false;
}

void SettingsStore::Store(const HmxChar* section, const HmxChar* key, const std::u16string& value) {
    const Name name = NameOf(section, key);
    if (name.first != u"General") {
        otherSections[name] = value;
        return;
    }
    values[name.second] = value;
    overrides.erase(name.second);  // a write made during the run is what later reads see
}

int32_t SettingsStore::SetInt(const HmxChar* section, const HmxChar* key, int64_t value) {
    Store(section, key, FromUtf8(std::to_string(value)));
    return 1;
}

void SettingsStore::WarnNoNumber(const Name& name, const std::string& text, const char* why) {
    if (!warned.insert(name).second) return;
    const std::string section = name.first == u"General" ? "" : ToUtf8(name.first) + ": ";
    std::fprintf(stderr, "hmxplay: %s%s=%s %s; the plug-in gets its default\n", section.c_str(),
                 ToUtf8(name.second).c_str(), text.c_str(), why);
}

int64_t SettingsStore::GetInt(const HmxChar* section, const HmxChar* key, int64_t def) {
    std::u16string text;
    if (!Lookup(section, key, &text)) return def;
    std::string s = ToUtf8(text);
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str()) {
        // An empty value is no setting; any other text is a mistake worth a word.
        if (!s.empty()) WarnNoNumber(NameOf(section, key), s, "is not a number");
        return def;
    }
    if (*end == '.' || *end == 'e' || *end == 'E') {
        errno = 0;
        double d = std::strtod(s.c_str(), nullptr);
        // Only values that a 64-bit integer holds convert: 2^63 itself does not.
        if (errno == ERANGE || !(d > -9223372036854775808.0 && d < 9223372036854775808.0)) {
            WarnNoNumber(NameOf(section, key), s, "is out of range");
            return def;
        }
        return static_cast<int64_t>(d);
    }
    if (errno == ERANGE) {
        WarnNoNumber(NameOf(section, key), s, "is out of range");
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
    if (end == s.c_str()) {
        if (!s.empty()) WarnNoNumber(NameOf(section, key), s, "is not a number");
        return def;
    }
    // Too large, infinite or not a number: no setting means that.
    if (std::isnan(v)) {
        WarnNoNumber(NameOf(section, key), s, "is not a number");
        return def;
    }
    if (!std::isfinite(v) || (errno == ERANGE && std::fabs(v) > 1.0)) {
        WarnNoNumber(NameOf(section, key), s, "is out of range");
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
