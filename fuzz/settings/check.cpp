// One settings file through hmxplay's store and the plug-in's settings
// reader. scripts/fuzz.sh compiles this file twice: as the plug-in's code is
// (keys ending in "_x86"), and as the 64-bit plug-in's ("_x64", with every
// name of namespace tavren moved to tavren_x64), so that one input meets
// both architectures' readers.
//
// Checks, beyond crashes and sanitizer reports:
// - what the reader makes of any file lies inside the documented ranges:
//   the twelve rates, volume 0.0 .. 4.0, reset 0 .. 3, the editor on the
//   screen, every text terminated inside its buffer, the preset lists
//   parallel (one label for each path) and within their size;
// - after the changes a run makes, save then load gives the same values,
//   every line of the file that holds no changed value is kept byte for byte,
//   changed values keep their line up to the '=', new keys come at the end;
// - a save that cannot be made (a line break in a value, an empty key) leaves the file
//   as it was.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/invariant.h"
#include "common/page_record.h"
#include "config/arch.h"
#include "config/page.h"
#include "config/settings.h"
#include "platform/text.h"
#include "settings/touches.h"
#include "settings_store.h"

namespace tavren::fuzz {

namespace {

using namespace settingsfuzz;

[[noreturn]] void Broken(const char* what) { fuzzsupport::Broken("settings (" TAVREN_ARCH_NAME " keys)", what); }

void Check(bool holds, const char* what) {
    if (!holds) Broken(what);
}

bool Terminated(const char16_t* text, size_t capacity) {
    for (size_t i = 0; i < capacity; ++i)
        if (!text[i]) return true;
    return false;
}

struct Reading {
    VstiSettings settings;
    std::map<std::u16string, std::u16string> values;  // every key the page names, as stored
};

Reading ReadEverything(hmxplay::SettingsStore* store, const std::vector<std::u16string>& extraKeys) {
    Reading r;
    ReadVstiSettings(store, &r.settings);
    const VstiSettings& s = r.settings;
    Check(Terminated(s.path, kPathChars), "the path is not terminated inside its buffer");
    Check(IsValidSampleRate(s.sampleRate), "a sample rate outside the twelve");
    Check(s.volume >= 0.0 && s.volume <= 4.0, "a volume factor outside 0.0 .. 4.0");
    Check(s.reset >= 0 && s.reset <= 3, "a reset kind outside 0 .. 3");
    Check(s.editorX >= 0 && s.editorX <= 1920 - 100 && s.editorY >= 0 && s.editorY <= 1080 - 100,
          "an editor position off the screen");
    for (int index = 0; index < PresetCount; ++index) {
        char16_t path[kPathChars + 1];
        path[kPathChars] = u'#';
        ReadPresetPath(store, index, path);
        Check(Terminated(path, kPathChars) && path[kPathChars] == u'#',
              "a preset path not terminated inside its buffer");
    }
    static char16_t values[kPresetListChars + 1], labels[kPresetListChars + 1];
    values[kPresetListChars] = labels[kPresetListChars] = u'#';
    BuildPresetLists(store, values, labels);
    Check(Terminated(values, kPresetListChars) && Terminated(labels, kPresetListChars) &&
              values[kPresetListChars] == u'#' && labels[kPresetListChars] == u'#',
          "a preset list not terminated inside its buffer");
    Check(ListEntries(values) == ListEntries(labels), "the preset lists are not parallel: a label for each path");

    PageRecord page;
    Check(DescribeConfig(store, &page) == 1, "DescribeConfig gave other than 1");
    Check(page.sections == 1 && page.itemsWithoutTexts == 0 && page.keys.size() == 69,
          "the page is not one section and 69 items with their texts");
    Check(page.pathChoices == values, "the path item offers other choices than the preset list");
    const std::vector<std::u16string>* lists[] = {&page.keys, &extraKeys};
    for (const std::vector<std::u16string>* keys : lists) {
        for (const std::u16string& key : *keys) {
            std::u16string text;
            if (store->Lookup(kSectionGeneral, key.c_str(), &text)) r.values[key] = text;
        }
    }
    return r;
}

bool SameSettings(const VstiSettings& a, const VstiSettings& b) {
    return TextEquals(a.path, b.path) && a.sampleRate == b.sampleRate && a.volume == b.volume &&
           a.editorX == b.editorX && a.editorY == b.editorY && a.reset == b.reset && a.showEditor == b.showEditor &&
           a.cache == b.cache;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

// The file's lines with their line feeds; a last line without one too.
std::vector<std::string> RawLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// The key of an entry line, as the file spells it (after a byte-order mark
// on the first line); false for a line that is no entry.
bool LineKey(const std::string& line, bool first, std::string* key, size_t* equals) {
    const size_t from = first && line.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const size_t eq = line.find('=', from);
    if (eq == std::string::npos) return false;
    *key = line.substr(from, eq - from);
    *equals = eq;
    return true;
}

// Every line but the value lines of changed keys kept byte for byte (the
// last one may gain a line ending), a changed value line kept up to its
// '=', and lines beyond the old ones only for changed keys the file lacked.
void CheckLinesKept(const std::string& before, const std::string& after, const std::map<std::string, bool>& changed) {
    const std::vector<std::string> old = RawLines(before), now = RawLines(after);
    std::map<std::string, size_t> valueLine;  // the last line of each key
    for (size_t i = 0; i < old.size(); ++i) {
        std::string key;
        size_t eq;
        if (LineKey(old[i], i == 0, &key, &eq)) valueLine[key] = i;
    }
    Check(now.size() >= old.size(), "the saved file lost lines");
    for (size_t i = 0; i < old.size(); ++i) {
        std::string key;
        size_t eq;
        const bool entry = LineKey(old[i], i == 0, &key, &eq);
        if (entry && changed.count(key) && valueLine[key] == i) {
            Check(now[i].compare(0, eq + 1, old[i], 0, eq + 1) == 0, "a changed line lost its bytes up to the '='");
            continue;
        }
        const bool gainedEnding = i + 1 == old.size() && old[i].back() != '\n' &&
                                  now[i].compare(0, old[i].size(), old[i]) == 0 &&
                                  (now[i].size() == old[i].size() + 1 || now[i].size() == old[i].size() + 2);
        Check(now[i] == old[i] || gainedEnding, "a line that holds no changed value was not kept byte for byte");
    }
    for (size_t i = old.size(); i < now.size(); ++i) {
        std::string key;
        size_t eq;
        Check(LineKey(now[i], false, &key, &eq) && changed.count(key) && !valueLine.count(key),
              "a line was added for no new key");
    }
}

}  // namespace

void CheckSettingsFile(const std::string& path, const uint8_t* data, size_t size) {
    const std::string original(reinterpret_cast<const char*>(data) + kTouchBytes, size - kTouchBytes);
    if (!WriteFile(path, original)) Broken("cannot write the settings file");
    std::string error;
    auto* store = new hmxplay::SettingsStore();
    Check(store->Load(path, &error), "an existing file failed to load");
    std::vector<std::u16string> touchKeys;
    for (const Touch& touch : kTouches) touchKeys.push_back(FromUtf8(touch.key));
    ReadEverything(store, touchKeys);

    // The changes of this run. A key counts as changed when its final text
    // differs from what was loaded (only then is its line rewritten).
    // Run-only values come last, so that the reading compared after the
    // save is the one the file holds.
    std::map<std::u16string, std::pair<bool, std::u16string>> loaded;  // had it, its text
    std::vector<std::pair<std::u16string, std::u16string>> runOnly;
    for (size_t i = 0; i < kTouchCount; ++i) {
        if (!(data[2 + i / 8] >> (i % 8) & 1)) continue;
        const Touch& touch = kTouches[(data[0] + i * (1 + data[1])) % kTouchKeyCount];
        const std::u16string key = FromUtf8(touch.key);
        const std::u16string value = FromUtf8(kTouchValues[(data[1] + i) % kTouchValueCount]);
        if (touch.kind != TouchKind::OtherSection && touch.kind != TouchKind::RunOnly && !loaded.count(key)) {
            std::u16string before;
            const bool had = store->Lookup(kSectionGeneral, key.c_str(), &before);
            loaded[key] = {had, before};
        }
        switch (touch.kind) {
            case TouchKind::Text: store->SetStr(kSectionGeneral, key.c_str(), value.c_str()); break;
            case TouchKind::Integer:
                store->SetInt(kSectionGeneral, key.c_str(), int64_t(data[0]) << 40 | data[1]);
                break;
            case TouchKind::Real: store->SetFloat(kSectionGeneral, key.c_str(), data[1] * 1.5 - 20.0); break;
            case TouchKind::OtherSection: store->SetStr(u"Other", key.c_str(), value.c_str()); break;
            case TouchKind::RunOnly: runOnly.emplace_back(key, value); break;
        }
    }
    std::map<std::string, bool> changed;
    bool unsavable = false;
    for (const auto& [key, was] : loaded) {
        std::u16string now;
        store->Lookup(kSectionGeneral, key.c_str(), &now);
        if (was.first && now == was.second) continue;
        changed[ToUtf8(key)] = true;
        unsavable = unsavable || now.find_first_of(u"\r\n") != std::u16string::npos || key.empty() ||
                    key.find_first_of(u"\r\n=") != std::u16string::npos;
    }
    const Reading first = ReadEverything(store, touchKeys);
    for (const auto& [key, value] : runOnly) store->Override(key, value);
    ReadEverything(store, touchKeys);

    const bool saved = store->Save(path, &error);
    store->Release();
    const std::string written = ReadFile(path);
    if (!saved) {
        if (!unsavable) std::fprintf(stderr, "settings: the save said: %s\n", error.c_str());
        Check(unsavable, "a save failed though every change fits a settings line");
        Check(written == original, "a failed save changed the file");
        return;
    }
    Check(!unsavable, "a line break, an empty key or a key with '=' was saved");
    if (changed.empty()) Check(written == original, "a save with nothing changed rewrote the file");
    CheckLinesKept(original, written, changed);

    auto* again = new hmxplay::SettingsStore();
    Check(again->Load(path, &error), "the saved file failed to load");
    const Reading second = ReadEverything(again, touchKeys);
    again->Release();
    Check(SameSettings(first.settings, second.settings), "load, save, load gave other settings");
    for (const auto* pair : {&first.values, &second.values}) {
        for (const auto& [key, value] : *pair) {
            auto a = first.values.find(key), b = second.values.find(key);
            if (a != first.values.end() && b != second.values.end() && a->second == b->second) continue;
            std::fprintf(stderr, "settings: key \"%s\": \"%s\" before the save, \"%s\" after\n",
                         EscapeForLine(key.c_str()).c_str(),
                         a == first.values.end() ? "<absent>" : EscapeForLine(a->second.c_str()).c_str(),
                         b == second.values.end() ? "<absent>" : EscapeForLine(b->second.c_str()).c_str());
            Broken("load, save, load gave another value for a key");
        }
    }
}

}  // namespace tavren::fuzz
