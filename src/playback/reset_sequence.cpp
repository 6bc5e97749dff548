#include "playback/reset_sequence.h"

#include <vector>

#include "midi/reset_kind.h"
#include "platform/platform.h"
#include "playback/render_loop.h"

namespace tavren {

namespace {

struct ControllerReset {
    uint8_t controller;
    uint8_t value;
};

// Modulation, portamento time, volume, pan, expression, the four pedals,
// reverb and chorus sends, then reset all controllers and all sound off.
constexpr ControllerReset ControllerResetTable[] = {
    {1, 0},  {5, 0},  {7, 100}, {10, 64}, {11, 127}, {64, 0},  {65, 0},
    {66, 0}, {67, 0}, {91, 40}, {93, 0},  {121, 0},  {120, 0},
};

struct RpnReset {
    uint8_t msb;
    uint8_t lsb;
    uint8_t dataMsb;
    uint8_t dataLsb;
    bool hasData;  // the null RPN takes no data entry
};

// Bend range 2 semitones, fine and coarse tuning centred, modulation depth
// range, then the null RPN.
constexpr RpnReset RpnResetTable[] = {
    {0, 0, 2, 0, true}, {0, 1, 64, 0, true}, {0, 2, 64, 0, true}, {0, 5, 0, 64, true}, {127, 127, 0, 0, false},
};

const std::vector<uint8_t> kResetMessages[] = {
    {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},                          // GM SYSTEM ON
    {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7},                          // GM2 SYSTEM ON
    {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},        // XG SYSTEM ON
    {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},  // GS RESET
};

using Batch = std::vector<SongEvent>;

void Add(Batch& batch, uint32_t status, uint32_t data1, uint32_t data2) {
    SongEvent e;
    e.message = status | data1 << 8 | data2 << 16;
    batch.push_back(std::move(e));
}

void AddSysex(Batch& batch, const std::vector<uint8_t>& bytes) {
    SongEvent e;
    e.message = MsgSysex;
    e.sysex = bytes;
    batch.push_back(std::move(e));
}

// Every instance in order gets the batch at offset 0 and renders one block
// whose output is not used; the batch is emptied. False once time is up.
bool SendBatch(PlaybackState& state, Batch& batch, const SeekClock& clock) {
    EventList& list = state.lists[0];  // the render loop's storage, idle during a seek
    list.clear();
    for (const SongEvent& e : batch) list.push_back(&e);
    int32_t served = ProcessInstances(state, &list, state.blockSize, 0, &clock);
    batch.clear();
    return served == state.instanceCount && !clock.TimeUp();
}

}  // namespace

bool SeekClock::TimeUp() const { return platform::TickCount() - start > limitMs; }

int32_t SettlingBlocks(int32_t sampleRate, int32_t blockSize) {
    return platform::MulDiv(1000, sampleRate, blockSize) / 1000;
}

namespace {

bool SendBatches(PlaybackState& state, const SeekClock& clock) {
    Batch batch;
    batch.reserve(96);
    for (uint32_t ch = 0; ch < 16; ++ch) {
        Add(batch, 0xB0 | ch, 123, 0);  // all notes off
        Add(batch, 0xB0 | ch, 0, 0);    // bank select MSB
        Add(batch, 0xB0 | ch, 32, 0);   // bank select LSB
        Add(batch, 0xC0 | ch, 0, 0);    // program 0
        Add(batch, 0xD0 | ch, 0, 0);    // channel pressure 0
        Add(batch, 0xE0 | ch, 0, 64);   // pitch bend centre
    }
    if (!SendBatch(state, batch, clock)) return false;

    for (const RpnReset& row : RpnResetTable) {
        for (uint32_t ch = 0; ch < 16; ++ch) {
            Add(batch, 0xB0 | ch, 100, row.lsb);
            Add(batch, 0xB0 | ch, 101, row.msb);
            if (row.hasData) {
                Add(batch, 0xB0 | ch, 6, row.dataMsb);
                Add(batch, 0xB0 | ch, 38, row.dataLsb);
            }
        }
        if (!SendBatch(state, batch, clock)) return false;
    }

    for (const ControllerReset& row : ControllerResetTable) {
        for (uint32_t ch = 0; ch < 16; ++ch) Add(batch, 0xB0 | ch, row.controller, row.value);
        if (!SendBatch(state, batch, clock)) return false;
    }

    AddSysex(batch, kResetMessages[0]);
    if (!SendBatch(state, batch, clock)) return false;

    // A song that brings its own XG SYSTEM ON must not get GM2 or GS resets
    // (nor a second XG one): instruments that take GS but not XG go wrong.
    int32_t kind = state.resetKind;
    bool songIsXg = state.song && state.song->detectedReset == ResetKind::XgSystemOn;
    if (kind >= 1 && kind <= 3 && !songIsXg) {
        AddSysex(batch, kResetMessages[kind]);
        if (!SendBatch(state, batch, clock)) return false;
    }

    int32_t settling = SettlingBlocks(state.sampleRate, state.blockSize);
    for (int32_t n = 0; n < settling; ++n) if (!SendBatch(state, batch, clock)) return false;

    return true;
}

}  // namespace

bool ResetSequence(PlaybackState& state, const SeekClock& clock) {
    bool inTime = SendBatches(state, clock);
    state.nextEvent = 0;
    state.playPosition = 0;
    return inTime;
}

}  // namespace tavren
