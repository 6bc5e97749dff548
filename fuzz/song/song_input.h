// The song target's input: a few bytes that choose the instrument and the
// settings, a short script of host actions, then the MIDI file itself.
// Shared by the harness and the program that writes its seed corpus.
//
//   [0] instrument      [1] requested rate   [2] "SampleRate_x86"
//   [3] "Reset_x86"     [4] "Volume_x86"     [5] bit 0 "Cache_x86" off,
//                                                bit 1 "ShowEditor" on
//   [6] action count (taken modulo kMaxActions + 1), then that many actions
//       of three bytes (operation, a, b); the rest of the input is the file.
// Every byte value means something: indexes are taken modulo their table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace songfuzz {

// What each instrument choice sets in the probe's environment (see
// instruments/probe/probe_protocol.h); tone ignores it.
struct InstrumentChoice {
    const char* library;  // "probe" or "tone", beside the fuzzer
    const char* flags;    // PROBE_FLAGS, or null for the default
    const char* outputs;  // PROBE_OUTPUTS, or null
    const char* inputs;   // PROBE_INPUTS, or null
};

constexpr InstrumentChoice kInstruments[] = {
    {"probe", nullptr, nullptr, nullptr},
    {"probe", "0x1110", nullptr, nullptr},  // double precision only
    {"tone", nullptr, nullptr, nullptr},
    {"probe", nullptr, "6", "2"},           // more outputs than two, and inputs
    {"probe", "0x1111", nullptr, nullptr},  // both widths, an editor
};

// 0: no request at all; every other value is a request with that rate.
constexpr uint32_t kNoRequest = 1;
constexpr uint32_t kRequestedRates[] = {kNoRequest, 0, 44100, 48000, 96000, 192000, 22050, 0xFFFFFFFFu};

// Setting texts; null leaves the key out of the store.
constexpr const char16_t* kRateTexts[] = {nullptr, u"44100", u"48000", u"-48000", u"88200",
                                          u"-192000", u"22050", u"abc", u"1e300"};
constexpr const char16_t* kResetTexts[] = {nullptr, u"0", u"1", u"2", u"3", u"7", u"-1"};
constexpr const char16_t* kVolumeTexts[] = {nullptr, u"100", u"0", u"50.5", u"400", u"1e9", u"-3", u"nan", u"inf"};

enum Operation : uint8_t {
    RenderBlocks,     // 1 + a % 32 blocks
    SeekTo,           // a picks a SeekKind, b its detail
    ChangeSetting,    // a picks the key, b its text; then UpdateConfig
    SelectSong,       // Select(a % 4), with an out pointer unless b is odd
    RenderToEnd,      // a song without a loop marker must end within its bound
    SecondDecoder,    // another decoder of the same song plays 1 + a % 4 blocks beside it
    RenderNoBuffer,   // 1 + a % 8 blocks into a null buffer
    OperationCount,
};

enum SeekKind : uint8_t {
    SeekStart,      // 0
    SeekInSong,     // b / 255 of the song's length
    SeekNearTail,   // the song's end plus its tail, give or take b - 128 eighths of a block
    SeekNearby,     // b frames around the position reached, either way
    SeekHuge,       // 2^40, 2^63, or the largest values
    SeekBlockEdge,  // b blocks exactly, or one frame before
    SeekKindCount,
};

constexpr size_t kSettingsBytes = 6;
constexpr size_t kMaxActions = 8;
constexpr size_t kActionBytes = 3;

struct Action {
    uint8_t operation, a, b;
};

struct SongInput {
    uint8_t settings[kSettingsBytes] = {};
    std::vector<Action> actions;
    const uint8_t* file = nullptr;
    size_t fileSize = 0;
};

// False when the input is too short to hold its settings and actions.
inline bool ParseSongInput(const uint8_t* data, size_t size, SongInput* input) {
    if (size < kSettingsBytes + 1) return false;
    for (size_t i = 0; i < kSettingsBytes; ++i) input->settings[i] = data[i];
    const size_t count = data[kSettingsBytes] % (kMaxActions + 1);
    size_t at = kSettingsBytes + 1;
    if (size - at < count * kActionBytes) return false;
    input->actions.clear();
    for (size_t i = 0; i < count; ++i, at += kActionBytes)
        input->actions.push_back(Action{data[at], data[at + 1], data[at + 2]});
    input->file = data + at;
    input->fileSize = size - at;
    return true;
}

// The bytes ParseSongInput reads back as these settings, actions and file.
inline std::vector<uint8_t> EncodeSongInput(const uint8_t (&settings)[kSettingsBytes],
                                            const std::vector<Action>& actions, const std::vector<uint8_t>& file) {
    std::vector<uint8_t> out(settings, settings + kSettingsBytes);
    out.push_back(static_cast<uint8_t>(actions.size()));
    for (const Action& a : actions) out.insert(out.end(), {a.operation, a.a, a.b});
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

}  // namespace songfuzz
